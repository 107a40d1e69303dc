// The preview window: its line of totals, the rows it lists for each
// document with highlights on the right characters whatever the script, and
// rows handed to the view only as it scrolls.

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <QTreeView>
#include <QtTest>

#include "ui/preview/preview_model.h"
#include "ui/preview/preview_window.h"

namespace {

using Verdict = engine::PreviewDocument::Verdict;

// Offsets are UTF-8 bytes, as the engine hands them over.
engine::PreviewLine changedLine(std::size_t number, const std::string& before,
                                const std::string& match,
                                const std::string& inserted) {
  engine::PreviewLine line;
  line.number = number;
  line.before = line.after = before;
  line.match_offset = line.inserted_offset = before.find(match);
  line.match_length = match.size();
  line.inserted_length = inserted.size();
  line.after.replace(line.match_offset, match.size(), inserted);
  return line;
}

engine::PreviewDocument document(std::string name, Verdict verdict,
                                 std::string reason,
                                 std::vector<engine::PreviewLine> lines = {}) {
  engine::PreviewDocument result;
  result.name = std::move(name);
  result.verdict = verdict;
  result.reason = std::move(reason);
  result.replacements = lines.size();
  result.lines = std::move(lines);
  return result;
}

// A row as kind|text|count|line number|highlighted text.
QString describe(const QModelIndex& row) {
  using Model = PreviewModel;
  const QString text = row.data().toString();
  const int kind = row.data(Model::KindRole).toInt();
  return QStringList{QMetaEnum::fromType<Model::RowKind>().valueToKey(kind),
                     text, row.data(Model::DetailRole).toString(),
                     row.data(Model::LineNumberRole).toString(),
                     text.mid(row.data(Model::SpanStartRole).toInt(),
                              row.data(Model::SpanLengthRole).toInt())}
      .join('|');
}

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT
 private slots:
  // The totals in digits, then the documents in list order, each with its
  // count and its lines or (when asked for) with the reason it stays as it
  // is.  A stopped
  // preview says so; a refused run shows only why.
  void totalsAndDocuments() {
    PreviewWindow window;
    auto* summary = window.findChild<QLabel*>("PreviewSummary");
    auto* stoppedNote = window.findChild<QLabel*>("PreviewStopped");
    auto* model = window.findChild<QTreeView*>("PreviewList")->model();
    engine::Preview preview;
    preview.selected = 3;
    preview.changed_documents = 1;
    preview.replacements = 2;
    preview.documents = {
        document("about.htm", Verdict::kChanges, {},
                 {changedLine(3, "CAFÉ au lait", "CAFÉ", "Café"),
                  changedLine(9, "Crème 🍮 et CAFÉ au lait", "CAFÉ", "カフェ")}),
        document("news.asp", Verdict::kRefused, "the document is read-only"),
        document("search.cfm", Verdict::kTextNotFound, {})};
    window.showPreview(preview);
    QCOMPARE(summary->text(), "2 replacements in 1 of 3 selected documents");
    QVERIFY(!stoppedNote->isVisibleTo(&window));
    QCOMPARE(model->rowCount(), 5);  // the documents that change, at first
    window.findChild<QCheckBox*>("CheckOnlyChanges")->setChecked(false);
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
      rows << describe(model->index(row, 0));
    QCOMPARE(rows, QStringList({"DocumentRow|about.htm|2 replacements||",
                                "BeforeRow|CAFÉ au lait||3|CAFÉ",
                                "AfterRow|Café au lait||3|Café",
                                "BeforeRow|Crème 🍮 et CAFÉ au lait||9|CAFÉ",
                                "AfterRow|Crème 🍮 et カフェ au lait||9|カフェ",
                                "DocumentRow|news.asp|refused||",
                                "ReasonRow|the document is read-only|||",
                                "DocumentRow|search.cfm|not changed||",
                                "ReasonRow|The text was not found.|||"}));

    preview.stopped = true;
    window.showPreview(preview);
    QVERIFY(stoppedNote->isVisibleTo(&window));
    preview.problem = "The text to replace is empty.";
    window.showPreview(preview);
    QCOMPARE(summary->text(), "The text to replace is empty.");
  }

  // 10,000 changed lines and documents that stay as they are: the changes
  // are all there at once, the end is one key press away, the others come
  // in when asked for, and a fresh preview with other line counts keeps the
  // document at the top where it was.
  void everyChangeAtOnceAndTheEndOneKeyAway() {
    engine::Preview preview;
    const std::vector<engine::PreviewLine> lines(
        200, changedLine(5, "<p>555-0100</p>", "555-0100", "555-0199"));
    for (int i = 0; i < 50; ++i) {
      preview.documents.push_back(document("page" + std::to_string(i) + ".htm",
                                           Verdict::kChanges, {}, lines));
      preview.documents.push_back(document("same" + std::to_string(i) + ".htm",
                                           Verdict::kTextNotFound, {}, {}));
    }
    PreviewWindow window;
    window.showPreview(preview);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* view = window.findChild<QTreeView*>("PreviewList");
    auto* model = qobject_cast<PreviewModel*>(view->model());
    QCOMPARE(model->rowCount(), 50 * 401);
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keySequence(&window, QKeySequence::MoveToEndOfDocument);
    QCOMPARE(view->verticalScrollBar()->value(),
             view->verticalScrollBar()->maximum());
    QVERIFY(view->verticalScrollBar()->maximum() > 0);

    view->scrollTo(model->index(model->firstRowOf(60) + 3),
                   QAbstractItemView::PositionAtTop);
    preview.documents[0].lines.resize(7);
    window.showPreview(preview);
    QCOMPARE(view->indexAt(QPoint(0, 0)).row(), model->firstRowOf(60) + 3);
    window.findChild<QCheckBox*>("CheckOnlyChanges")->setChecked(false);
    QCOMPARE(model->rowCount(), 50 * 401 - 2 * 193 + 50 * 2);
    QCOMPARE(view->indexAt(QPoint(0, 0)).row(), model->firstRowOf(60) + 3);
  }
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
