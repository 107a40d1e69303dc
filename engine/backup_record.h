// A backup records the name of the document it was made from, in an
// extended attribute written before the backup gets its name.  The record
// keeps two documents that share a backup name (about.htm and about.asp)
// from overwriting each other's backup, and a restore from putting one
// document's content into the other.  Where the file system has no extended
// attributes, backups carry no record and the name rules alone apply.

#ifndef VANTREL_ENGINE_BACKUP_RECORD_H_
#define VANTREL_ENGINE_BACKUP_RECORD_H_

namespace engine {

inline constexpr char kDocumentRecordAttribute[] = "user.vantrel.document";

}  // namespace engine

#endif  // VANTREL_ENGINE_BACKUP_RECORD_H_
