// Text from outside the documents (the login name, config.cfg) is in the
// locale's code page (LC_CTYPE); QString::fromLocal8Bit would take UTF-8
// whatever the locale says.  Paths keep the file system's bytes.

#ifndef VANTREL_UI_BROWSER_CODE_PAGE_H_
#define VANTREL_UI_BROWSER_CODE_PAGE_H_

#include <QByteArray>
#include <QString>
#include <string>

namespace ui {

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
