#include "ui/browser/file_list.h"

#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <vector>

#include "ui/browser/folder_access.h"
#include "ui/browser/folder_tree.h"
#include "ui/browser/message_box.h"

// The entries as a plain vector: a QListWidget item per file would make a
// folder of thirty thousand documents slow to show.
class FileListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void reset(std::vector<browser::FolderEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
  }
  const browser::FolderEntry& entry(int row) const { return entries_[row]; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return entries_[index.row()].name;
  }

 private:
  std::vector<browser::FolderEntry> entries_;
};

FileList::FileList(const QString& pattern, QWidget* parent,
                   browser::Backups backups)
    : QListView(parent),
      pattern_(pattern),
      backups_(backups),
      matcher_(pattern, backups),
      path_(browser::startFolder()),
      model_(new FileListModel(this)) {
  setModel(model_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  fill();
}

FileList::~FileList() = default;

QString FileList::pattern() const { return pattern_; }

void FileList::setPattern(const QString& pattern) {
  pattern_ = pattern;
  matcher_ = browser::NamePattern(pattern, backups_);
  fill();
}

QString FileList::path() const { return path_; }

void FileList::setPath(const QString& folder) {
  path_ = browser::normalFolder(folder);
  fill();
}

void FileList::refresh() { fill(); }

void FileList::setIncludeSubfolders(bool include) {
  if (include == includeSubfolders_) return;
  includeSubfolders_ = include;
  fill();
}

int FileList::listCount() const { return model_->rowCount(); }

QString FileList::list(int position) const {
  if (position < 0 || position >= listCount()) return {};
  return model_->entry(position).name;
}

bool FileList::selected(int position) const {
  if (position < 0 || position >= listCount()) return false;
  return selectionModel()->isSelected(model_->index(position));
}

void FileList::setSelected(int position, bool selected) {
  if (position < 0 || position >= listCount()) return;
  selectionModel()->select(
      model_->index(position),
      selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

engine::Selection FileList::selection() const {
  engine::Selection entries(static_cast<std::size_t>(listCount()));
  for (int row = 0; row < listCount(); ++row)
    entries[row].name = model_->entry(row).raw.toStdString();
  for (const QModelIndex& index : selectionModel()->selectedIndexes())
    entries[index.row()].selected = true;
  return entries;
}

void FileList::fill() {
  std::vector<browser::FolderEntry> files;
  QString error;
  bool read = true, tooMany = false;
  int unreadable = 0;
  if (includeSubfolders_) {
    browser::TreeListing tree;
    read = browser::readTree(path_, matcher_, engine::kMaxSelectionEntries,
                             &tree, &error);
    files = std::move(tree.files);
    tooMany = tree.tooMany;
    unreadable = tree.unreadableFolders;
  } else {
    read =
        browser::readFolder(path_, browser::EntryKind::kFile, &files, &error);
    std::erase_if(files, [this](const browser::FolderEntry& entry) {
      return !matcher_.matches(entry.name);
    });
    browser::sortByName(&files);
    tooMany = files.size() > engine::kMaxSelectionEntries;
    if (tooMany) files.resize(engine::kMaxSelectionEntries);
  }
  model_->reset(std::move(files));
  scrollToTop();
  emit filled();
  if (!read) {
    ui::informUser(this, ui::titleFor(this), error);
    return;
  }
  QStringList notes;
  if (unreadable > 0) {
    notes << tr("%1 subfolders of %2 could not be read and were skipped.")
                 .arg(unreadable)
                 .arg(path_);
  }
  if (tooMany) {
    notes << tr("%1 holds more than %2 matching files; only the first %2 "
                "are listed.")
                 .arg(path_)
                 .arg(engine::kMaxSelectionEntries);
  }
  if (!notes.isEmpty())
    ui::informUser(this, ui::titleFor(this), notes.join(QLatin1Char('\n')));
}
