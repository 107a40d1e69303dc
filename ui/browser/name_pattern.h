// The file lists' patterns: wildcard patterns separated by semicolons, in
// which "*" stands for any run of characters (the empty run included) and
// every other character for itself.  A name is kept when one pattern
// matches the whole of it, letter case ignored, so "*.htm" keeps INDEX.HTM
// but not page.html.

#ifndef VANTREL_UI_BROWSER_NAME_PATTERN_H_
#define VANTREL_UI_BROWSER_NAME_PATTERN_H_

#include <QString>
#include <QStringList>

namespace browser {

class NamePattern {
 public:
  explicit NamePattern(const QString& patterns);

  bool matches(const QString& name) const;

 private:
  QStringList folded_;  // one case-folded pattern per part
};

}  // namespace browser

#endif  // VANTREL_UI_BROWSER_NAME_PATTERN_H_
