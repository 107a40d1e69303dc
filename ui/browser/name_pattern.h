// The file lists' patterns: wildcard patterns separated by semicolons, in
// which "*" stands for any run of characters (the empty run included), "?"
// for exactly one character and every other character for itself.  A name
// is kept when one pattern matches the whole of it, letter case ignored, so
// "*.htm" keeps INDEX.HTM but not page.html.  Lists of documents may leave
// out names ending in "bac" whatever the patterns.

#ifndef VANTREL_UI_BROWSER_NAME_PATTERN_H_
#define VANTREL_UI_BROWSER_NAME_PATTERN_H_

#include <QString>
#include <QStringList>

namespace browser {

// Whether names ending in "bac", in any letter case, may match.
enum class Backups { kKept, kLeftOut };

class NamePattern {
 public:
  explicit NamePattern(const QString& patterns,
                       Backups backups = Backups::kKept);

  bool matches(const QString& name) const;

 private:
  QStringList folded_;  // one case-folded pattern per part
  Backups backups_;
};

}  // namespace browser

#endif  // VANTREL_UI_BROWSER_NAME_PATTERN_H_
