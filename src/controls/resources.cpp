#include "controls/resources.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>
#include <map>

#include "controls/geometry.h"
#include "platform/language.h"
#include "platform/log.h"

namespace tonvera {
namespace {

// Where the resources live inside the program.
constexpr const char* kArtPrefix = ":/art/";    // vector sources, <stem>.svg
constexpr const char* kFilePrefix = ":/res/";   // raster pictures and property lists as named

QString stemOf(const QString& name) {
  const int dot = name.lastIndexOf(u'.');
  return dot > 0 ? name.left(dot) : name;
}

void logMissing(const QString& name, const char* why) {
  log(lcControls, "resource %s %s", name.toUtf8().constData(), why);
}

}  // namespace

QString resourcePath(const QString& name) {
  // A picture with text in it has an English form beside the program's own.
  if (currentLanguage() == Language::English) {
    const QString english = QString::fromLatin1(kArtPrefix) + QStringLiteral("en/") + stemOf(name) + QStringLiteral(".svg");
    if (QFile::exists(english)) return english;
  }
  const QString svg = QString::fromLatin1(kArtPrefix) + stemOf(name) + QStringLiteral(".svg");
  if (QFile::exists(svg)) {
    return svg;
  }
  const QString plain = QString::fromLatin1(kFilePrefix) + name;
  if (QFile::exists(plain)) {
    return plain;
  }
  // Names without an extension ("transitionmask", "restrictedshine", "defaultstation").
  for (const char* ext : {".png", ".jpg", ".tiff", ".plist"}) {
    const QString withExt = plain + QString::fromLatin1(ext);
    if (QFile::exists(withExt)) {
      return withExt;
    }
  }
  return {};
}

std::shared_ptr<const ResourcePicture> ResourcePicture::load(const QString& name) {
  static std::map<QString, std::shared_ptr<const ResourcePicture>> cache;
  if (auto it = cache.find(name); it != cache.end()) {
    return it->second;
  }
  std::shared_ptr<ResourcePicture> picture(new ResourcePicture);
  picture->name_ = name;
  const QString path = resourcePath(name);
  if (path.isEmpty()) {
    logMissing(name, "is missing");
    picture.reset();
  } else if (path.endsWith(QStringLiteral(".svg"))) {
    picture->svg_ = std::make_unique<QSvgRenderer>(path);
    if (!picture->svg_->isValid()) {
      logMissing(name, "does not render");
      picture.reset();
    } else {
      picture->size_ = picture->svg_->viewBoxF().size();
    }
  } else {
    picture->raster_.load(path);
    if (picture->raster_.isNull()) {
      logMissing(name, "does not decode");
      picture.reset();
    } else {
      picture->size_ = picture->raster_.deviceIndependentSize();
    }
  }
  cache.emplace(name, picture);  // a missing picture is remembered too: one log line per run
  return picture;
}

ResourcePicture::~ResourcePicture() = default;

QPixmap ResourcePicture::pixmap(qreal dpr) const {
  if (dpr <= 0) {
    dpr = 1.0;
  }
  if (cache_ && cache_->first == dpr) {
    return cache_->second;
  }
  QPixmap pixmap;
  if (svg_) {
    const QSize pixels(static_cast<int>(std::ceil(size_.width() * dpr)),
                       static_cast<int>(std::ceil(size_.height() * dpr)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      svg_->render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    image.setDevicePixelRatio(dpr);
    pixmap = QPixmap::fromImage(std::move(image));
  } else {
    // Raster pictures are scaled smoothly to the ratio asked for.
    const QSize pixels(static_cast<int>(std::lround(size_.width() * dpr)),
                       static_cast<int>(std::lround(size_.height() * dpr)));
    QImage image = raster_.size() == pixels
                       ? raster_
                       : raster_.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(dpr);
    pixmap = QPixmap::fromImage(std::move(image));
  }
  cache_.emplace(dpr, pixmap);
  return pixmap;
}

QPixmap ResourcePicture::cut(const QRectF& bottomUp, qreal dpr) const {
  const QPixmap whole = pixmap(dpr);
  const QRectF r = geometry::sheetRect(bottomUp.x(), bottomUp.y(), bottomUp.width(), bottomUp.height(),
                                       size_.height());
  const QRect pixels(static_cast<int>(std::lround(r.x() * dpr)), static_cast<int>(std::lround(r.y() * dpr)),
                     static_cast<int>(std::lround(r.width() * dpr)),
                     static_cast<int>(std::lround(r.height() * dpr)));
  QPixmap cell = whole.copy(pixels);
  cell.setDevicePixelRatio(dpr);
  return cell;
}

std::optional<PlistValue> resourcePlist(const QString& name) {
  const QString path = resourcePath(name);
  QFile file(path);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    logMissing(name, "is missing");
    return std::nullopt;
  }
  const QByteArray bytes = file.readAll();
  std::string error;
  auto value = PlistValue::fromBytes(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
                                     &error);
  if (!value) {
    logMissing(name, "does not parse");
  }
  return value;
}

}  // namespace tonvera
