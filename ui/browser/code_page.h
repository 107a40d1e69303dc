// Texts cross into the engine as bytes in the locale's code page (LC_CTYPE),
// which is how the engine reads documents; QString::toLocal8Bit would give
// UTF-8 whatever the locale says.

#ifndef VANTREL_UI_BROWSER_CODE_PAGE_H_
#define VANTREL_UI_BROWSER_CODE_PAGE_H_

#include <QByteArray>
#include <QString>
#include <string>

namespace ui {

// Characters the code page cannot hold become '?'.
std::string toCodePage(const QString& text);
// Bytes that are not valid in the code page become U+FFFD.
QString fromCodePage(const std::string& bytes);

// Paths keep the file system's bytes.  Names are UTF-8 in practice; a byte
// that is not part of valid UTF-8 becomes the lone surrogate U+DC00 + byte
// (shown as a replacement mark) and turns back into the same byte, so that
// a folder with any name can be shown, opened and handed to a run.
QString fromPathBytes(const QByteArray& bytes);
QByteArray toPathBytes(const QString& path);

}  // namespace ui

#endif  // VANTREL_UI_BROWSER_CODE_PAGE_H_
