#include "taste/ui/artistsearchview.h"

#include <QLineEdit>
#include <algorithm>

#include "controls/fonts.h"
#include "controls/geometry.h"
#include "platform/log.h"
#include "records/tnartist.h"
#include "taste/tnsearcher.h"

namespace tonvera {
namespace {

constexpr int kFieldBand = 28;

QRect contentFrame(const QRect& frame) {
  return geometry::frameFromBottomUp(0, 0, frame.width(), frame.height() - kFieldBand, frame.height());
}

}  // namespace

ArtistSearchView::ArtistSearchView(const QRect& frame, QWidget* parent)
    : TNSongsViewController(frame, contentFrame(frame), parent) {
  const int w = frame.width();
  const int h = frame.height();
  auto* band = new QWidget(this);
  band->setGeometry(geometry::frameFromBottomUp(0, h - kFieldBand, w, 24, h));
  band->setAutoFillBackground(true);
  QPalette pal = band->palette();
  pal.setColor(QPalette::Window, Qt::white);
  band->setPalette(pal);
  // Behind the band the page is white too.
  setAutoFillBackground(true);
  setPalette(pal);
  searchField_ = new QLineEdit(this);
  searchField_->setGeometry(geometry::frameFromBottomUp(70, h - 25, 220, 22, h));
  searchField_->setFont(systemFont(13));
  searchField_->setPlaceholderText(tr("搜索艺人"));
  searchField_->setClearButtonEnabled(true);
  searchField_->setStyleSheet(QStringLiteral(
      "QLineEdit { color: black; background: white; border: 1px solid #c8c8d0; border-radius: 11px;"
      " padding: 0 8px; } QLineEdit:focus { border-color: rgb(255, 159, 75); }"));
  connect(searchField_, &QLineEdit::returnPressed, this, [this] { performSearch(); });
  searchField_->raise();
  refreshData();
}

ArtistSearchView::~ArtistSearchView() { *alive_ = false; }

void ArtistSearchView::performSearch() { didEndFinishInput(searchField_->text()); }

void ArtistSearchView::didEndFinishInput(const QString& text) {
  const std::string url = TNSearcher::genURL(1, 0, 25, text.toStdString());
  TNSearcher::searchWithURL(url, [this, alive = alive_](PlistValue::Array entries) {
    if (*alive) showArtist(entries);
  });
}

void ArtistSearchView::showArtist(const PlistValue::Array& entries) {
  if (entries.empty()) {
    // Nothing found: the results of an earlier search would answer a question no longer asked.
    results_.clear();
    songsTableView()->setEmptyText(tr("没有找到相关的艺人"));
    refreshData();
    return;
  }
  songsTableView()->setEmptyText(QString());
  const PlistValue& first = entries.front();
  const auto firstName = first.isDict() ? recordId(first.dict()) : std::nullopt;
  logDebug(lcTaste, "%s,%s", __func__, firstName.value_or("?").c_str());
  results_.clear();
  for (const PlistValue& entry : entries) {
    if (entry.isDict()) results_.push_back(TNArtist::create(entry.dict()));
  }
  refreshData();
}

int ArtistSearchView::numberOfRows(TasteTableView&) { return static_cast<int>(results_.size()); }

TableCell* ArtistSearchView::cellForRow(TasteTableView& table, int row) {
  auto* cell = table.reusableCell<TNArtistCell>(
      QString::fromLatin1(TNArtistCell::kReuseIdentifier), [](QWidget* parent) {
        return new TNArtistCell(QString::fromLatin1(TNArtistCell::kReuseIdentifier), parent);
      });
  cell->setDelegate(this);
  cell->setTag(row);
  cell->setArtist(results_[static_cast<size_t>(row)]);
  return cell;
}

void ArtistSearchView::removeCell(TNSongTableCell* cell) {
  if (cell->tag() < 0 || cell->tag() >= static_cast<int>(results_.size())) return;
  const std::shared_ptr<TNArtist> artist = results_[static_cast<size_t>(cell->tag())];
  results_.erase(results_.begin() + cell->tag());
  TNManager::sharedManager().likeArtist(artist, true);
  refreshData();
}

bool ArtistSearchView::forwardsHoverTo(QWidget* subview) const {
  return qobject_cast<TNArtistCell*>(subview) != nullptr;
}

}  // namespace tonvera
