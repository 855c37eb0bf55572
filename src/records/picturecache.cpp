#include "records/picturecache.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>

#include "platform/fileutil.h"
#include "platform/folders.h"
#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "records/squarepicture.h"
#include "service/jsoncall.h"

namespace tonvera {

std::optional<std::string> pictureCacheFolder(PictureKind kind) {
  auto app = appSupportDir();
  if (!app) return std::nullopt;
  std::string folder = *app + (kind == PictureKind::Album ? "/album/" : "/artist/");
  makeDirectories(folder);  // a failure surfaces later as a failed cache write
  return folder;
}

std::optional<std::string> pictureCachePath(PictureKind kind, const std::string& id) {
  if (id.empty() || id == "." || id == ".." || id.find('/') != std::string::npos ||
      id.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  auto folder = pictureCacheFolder(kind);
  if (!folder) return std::nullopt;
  return *folder + id;
}

std::optional<QImage> loadCachedPicture(const std::string& path) {
  if (!QFile::exists(QString::fromStdString(path))) return std::nullopt;
  QImage picture;
  if (!picture.load(QString::fromStdString(path)) || picture.isNull()) return std::nullopt;
  return picture;
}

namespace {

// The fetch itself, on the download queue. Writes the cache file on success.
std::optional<QImage> fetchPicture(const std::string& infoURL, PictureKind kind,
                                   const std::optional<std::string>& cachePath) {
  auto info = JsonCall::call(infoURL);
  if (!info || !info->isObject()) return std::nullopt;
  const JsonValue* h = info->find("h");
  if (!h || !h->isString()) return std::nullopt;
  auto bytes = JsonCall::down(h->toString(), std::nullopt, false);
  if (!bytes || bytes->empty()) return std::nullopt;
  QImage picture;
  if (!picture.loadFromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<int>(bytes->size())) ||
      picture.isNull()) {
    return std::nullopt;
  }
  if (kind == PictureKind::Artist) {
    picture = squarePicture(picture);
    if (cachePath) {
      QByteArray tiff;
      QBuffer buffer(&tiff);
      buffer.open(QIODevice::WriteOnly);
      if (picture.save(&buffer, "TIFF")) {
        writeFileAtomically(*cachePath, std::string_view(tiff.constData(), static_cast<size_t>(tiff.size())));
      }
    }
  } else if (cachePath) {
    writeFileAtomically(*cachePath, *bytes);
  }
  return picture;
}

}  // namespace

void downloadPicture(std::string infoURL, PictureKind kind, std::optional<std::string> cachePath,
                     std::function<void(std::optional<QImage>)> deliver) {
  SerialQueue::runDetached("albumId", [infoURL = std::move(infoURL), kind, cachePath = std::move(cachePath),
                                       deliver = std::move(deliver)]() mutable {
    auto picture = fetchPicture(infoURL, kind, cachePath);
    runOnMain([deliver = std::move(deliver), picture = std::move(picture)]() mutable {
      deliver(std::move(picture));
    });
  });
}

}  // namespace tonvera
