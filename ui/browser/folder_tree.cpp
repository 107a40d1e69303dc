#include "ui/browser/folder_tree.h"

#include "engine/folder_walk.h"
#include "ui/browser/code_page.h"

namespace browser {

bool readTree(const QString& folder, const NamePattern& pattern,
              std::size_t limit, TreeListing* listing, QString* error) {
  *listing = TreeListing();
  engine::WalkRules rules;
  rules.keep_file = [&pattern](const std::string& name) {
    return pattern.matches(ui::fromPathBytes(QByteArray::fromStdString(name)));
  };
  // Each folder in the lists' natural order.
  rules.sort = [](std::vector<std::string>* names) {
    std::vector<FolderEntry> entries;
    entries.reserve(names->size());
    for (std::string& name : *names) {
      QByteArray raw = QByteArray::fromStdString(name);
      QString shown = ui::fromPathBytes(raw);
      entries.push_back({std::move(raw), std::move(shown)});
    }
    sortByName(&entries);
    for (std::size_t i = 0; i < entries.size(); ++i)
      (*names)[i] = entries[i].raw.toStdString();
  };
  rules.limit = limit;
  engine::WalkListing walked;
  const engine::Status status =
      engine::WalkFolder(ui::toPathBytes(folder).toStdString(), rules, &walked);
  if (!status.ok()) {
    *error = folder + QStringLiteral(": ") +
             QString::fromLocal8Bit(status.reason().c_str());
    return false;
  }
  listing->files.reserve(walked.files.size());
  for (const std::string& file : walked.files) {
    QByteArray raw = QByteArray::fromStdString(file);
    QString name = ui::fromPathBytes(raw);
    listing->files.push_back({std::move(raw), std::move(name)});
  }
  listing->unreadableFolders = walked.unreadable_folders;
  listing->tooMany = walked.too_many;
  return true;
}

}  // namespace browser
