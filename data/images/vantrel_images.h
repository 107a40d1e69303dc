// The program's pictures, compiled in from vantrel_images.qrc under
// ":/vantrel/images/" (banner.jpg, picture1.png, vantrel-32.png,
// vantrel-16.png).

#ifndef VANTREL_DATA_IMAGES_VANTREL_IMAGES_H_
#define VANTREL_DATA_IMAGES_VANTREL_IMAGES_H_

#include <QIcon>
#include <QString>

// The pictures live in a static library, and a linker keeps none of its
// objects that nothing refers to; this reference keeps the registration.
// Safe to call more than once.
inline void initVantrelImages() { Q_INIT_RESOURCE(vantrel_images); }

inline QString vantrelImagePath(const char* name) {
  return QStringLiteral(":/vantrel/images/") + QLatin1String(name);
}

// The program's icon in both of its drawn sizes, so that neither is scaled.
inline QIcon vantrelIcon() {
  initVantrelImages();
  QIcon icon;
  icon.addFile(vantrelImagePath("vantrel-16.png"));
  icon.addFile(vantrelImagePath("vantrel-32.png"));
  return icon;
}

#endif  // VANTREL_DATA_IMAGES_VANTREL_IMAGES_H_
