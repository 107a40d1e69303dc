// Texts cross into the engine as bytes in the locale's code page (LC_CTYPE),
// which is how the engine reads documents; QString::toLocal8Bit would give
// UTF-8 whatever the locale says.

#ifndef VANTREL_UI_BROWSER_CODE_PAGE_H_
#define VANTREL_UI_BROWSER_CODE_PAGE_H_

#include <QString>
#include <string>

namespace ui {

// Characters the code page cannot hold become '?'.
std::string toCodePage(const QString& text);
// Bytes that are not valid in the code page become U+FFFD.
QString fromCodePage(const std::string& bytes);

}  // namespace ui

#endif  // VANTREL_UI_BROWSER_CODE_PAGE_H_
