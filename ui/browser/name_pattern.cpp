#include "ui/browser/name_pattern.h"

namespace browser {
namespace {

// On a mismatch after a star, the star takes one
// more character; that is enough, since a later star can always take over
// whatever an earlier one would have needed.
bool wildcardMatch(QStringView pattern, QStringView name) {
  qsizetype p = 0, n = 0, star = -1, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star >= 0) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

NamePattern::NamePattern(const QString& patterns, Backups backups)
    : backups_(backups) {
  for (const QString& part : patterns.split(u';', Qt::SkipEmptyParts))
    folded_.push_back(part.toCaseFolded());
}

bool NamePattern::matches(const QString& name) const {
  const QString folded = name.toCaseFolded();
  if (backups_ == Backups::kLeftOut && folded.endsWith(u"bac")) return false;
  for (const QString& pattern : folded_) {
    if (wildcardMatch(pattern, folded)) return true;
  }
  return false;
}

}  // namespace browser
