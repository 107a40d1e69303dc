// Saves the preview window, filled with what an update of a small café's
// web site would do, as <folder>/preview.png.  The preview is written out
// here rather than worked out, so that the picture shows every kind of row
// (changed lines, a refused document, one without the text) whatever the
// engine does today.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "data/images/vantrel_images.h"
#include "engine/preview.h"
#include "ui/preview/preview_window.h"

namespace {

constexpr char kSearch[] = "Café Léon";
constexpr char kNew[] = "Café Léonie";

// Lets the window system draw what was asked of it.
void settle() {
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
}

// The line as the engine would report it: the first occurrence of the text
// in any letter case, given here as it is written in the line.
engine::PreviewLine changedLine(std::size_t number, const std::string& before,
                                const std::string& written) {
  engine::PreviewLine line;
  line.number = number;
  line.before = line.after = before;
  line.match_offset = line.inserted_offset = before.find(written);
  line.match_length = written.size();
  line.inserted_length = sizeof(kNew) - 1;
  line.after.replace(line.match_offset, written.size(), kNew);
  return line;
}

engine::PreviewDocument changes(const char* name,
                                std::vector<engine::PreviewLine> lines) {
  engine::PreviewDocument document;
  document.name = name;
  document.verdict = engine::PreviewDocument::Verdict::kChanges;
  document.encoding = "UTF-8";
  document.replacements = lines.size();
  document.lines = std::move(lines);
  return document;
}

engine::PreviewDocument unchanged(const char* name, const char* reason) {
  engine::PreviewDocument document;
  document.name = name;
  document.verdict = *reason ? engine::PreviewDocument::Verdict::kRefused
                             : engine::PreviewDocument::Verdict::kTextNotFound;
  document.reason = reason;
  return document;
}

engine::Preview samplePreview() {
  engine::Preview preview;
  preview.documents = {
      changes("about.htm",
              {changedLine(12, "    <h1>Willkommen im Café Léon</h1>", kSearch),
               changedLine(27,
                           "    <p>Das Café Léon liegt mitten in der "
                           "Altstadt – seit 1987 rösten wir selbst.</p>",
                           kSearch),
               changedLine(41,
                           "    <img src=\"images/front.jpg\" alt=\"Café "
                           "Léon, Eingang\">",
                           kSearch)}),
      changes("contact.htm",
              {changedLine(5, "  <title>Kontakt – Café Léon</title>", kSearch),
               changedLine(33,
                           "    <address>Café Léon · Große Gasse 7 · "
                           "79098 Freiburg</address>",
                           kSearch)}),
      changes(
          "index.htm",
          {changedLine(6,
                       "  <meta name=\"description\" content=\"Frühstück, "
                       "Kuchen und Kaffee aus eigener Rösterei in der "
                       "Freiburger Altstadt, täglich ab acht Uhr geöffnet, "
                       "mit Terrasse und W-LAN: CAFÉ LÉON\">",
                       "CAFÉ LÉON"),
           changedLine(19, "      <td class=\"brand\">CAFÉ LÉON</td>",
                       "CAFÉ LÉON"),
           changedLine(58,
                       "    <p lang=\"ru\">Добро пожаловать в café léon!</p>",
                       "café léon"),
           changedLine(74, "    <p class=\"legal\">© 2026 Café Léon GmbH</p>",
                       kSearch)}),
      unchanged("menu.asp", "the document is read-only"),
      unchanged("news.asp", ""),
      changes("search.cfm",
              {changedLine(3, "<cfset site = \"Café Léon\">", kSearch)}),
  };
  preview.selected = preview.documents.size();
  for (const engine::PreviewDocument& document : preview.documents) {
    preview.replacements += document.replacements;
    if (document.replacements > 0) ++preview.changed_documents;
  }
  return preview;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  QApplication::setWindowIcon(vantrelIcon());
  const QDir out(
      QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));

  PreviewWindow window;
  window.resize(720, 652);
  window.move(40, 40);
  window.showPreview(samplePreview());
  window.show();
  settle();
  const QString path = out.filePath(QStringLiteral("preview.png"));
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return 1;
  }
  return 0;
}
