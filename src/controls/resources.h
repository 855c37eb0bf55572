// Pictures and property lists compiled into the program (resources/), loaded by the names the pages
// use ("CONTROL.png", "transitionmask", "resource.plist").
//
// A picture whose vector source exists (resources/art/<stem>.svg) is rendered from it at the
// device-pixel ratio asked for, so it stays sharp at every scale; its logical size is the SVG's
// own size, the size the layouts' sheet rectangles assume. Otherwise the raster file is used.
// In English (platform/language.h) a picture with text is taken from resources/art/en/ when it is
// there.
// A missing or undecodable resource logs one line and gives nothing; callers show a placeholder.
//
// Threads: main thread only (the cache is not synchronised).
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>
#include <optional>

#include "platform/plist.h"

class QSvgRenderer;

namespace tonvera {

class ResourcePicture {
 public:
  // The picture of that name, shared and cached for the whole run; null when it is missing.
  static std::shared_ptr<const ResourcePicture> load(const QString& name);

  ~ResourcePicture();
  ResourcePicture(const ResourcePicture&) = delete;
  ResourcePicture& operator=(const ResourcePicture&) = delete;

  const QString& name() const { return name_; }
  // Logical size in points.
  QSizeF size() const { return size_; }
  // The whole picture at the ratio (device pixels per point); cached per ratio.
  QPixmap pixmap(qreal dpr) const;
  QImage image(qreal dpr = 1.0) const { return pixmap(dpr).toImage(); }
  // A cell of a sprite sheet: `bottomUp` is in points with y counted from the bottom of the
  // picture. The result carries the ratio, so its logical size is the rectangle's size.
  QPixmap cut(const QRectF& bottomUp, qreal dpr) const;

 private:
  ResourcePicture() = default;
  QString name_;
  QSizeF size_;
  std::unique_ptr<QSvgRenderer> svg_;
  QImage raster_;
  mutable std::optional<std::pair<qreal, QPixmap>> cache_;  // the last ratio rendered
};

// A property-list resource ("resource.plist", "defaultstation"); nothing (and one log line) when it
// is missing or does not parse.
std::optional<PlistValue> resourcePlist(const QString& name);

// The resource path of a name, for code that hands it to Qt directly; empty when missing.
QString resourcePath(const QString& name);

}  // namespace tonvera
