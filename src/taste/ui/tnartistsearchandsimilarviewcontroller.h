// The favourites' "添加" sub-page: a tab bar with "可能喜欢" (the recommendation grid, shown at
// first) and "搜索艺人" (the artist search), and the chosen view below it.
//
// Threads: main thread only.
#pragma once

#include <QWidget>
#include <functional>

namespace tonvera {

class ArtistSearchView;
class TNArtistRecommendView;

// One tab: its title, and an orange pointer tab behind a white title while selected.
class ChangeBgBtn : public QWidget {
  Q_OBJECT
 public:
  explicit ChangeBgBtn(const QRect& frame, QWidget* parent = nullptr);
  void configTitle(const QString& title);
  const QString& title() const { return title_; }
  bool isSelect() const { return isSelect_; }
  void setIsSelect(bool isSelect);
  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  void addTarget(std::function<void(ChangeBgBtn*)> action) { action_ = std::move(action); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString title_;
  bool isSelect_ = false;
  bool pressed_ = false;
  int tag_ = 0;
  std::function<void(ChangeBgBtn*)> action_;
};

class TNArtistSearchAndSimilarViewController : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kBarHeight = 44;
  explicit TNArtistSearchAndSimilarViewController(const QRect& frame, QWidget* parent = nullptr);

  // A tab was clicked: its view takes the place of the other.
  void buttonAction(ChangeBgBtn* sender);

  ArtistSearchView* searchArtist() const { return searchArtist_; }
  TNArtistRecommendView* recommendArtistsListView() const { return recommendArtistsListView_; }
  ChangeBgBtn* myLoveBtn() const { return myLoveBtn_; }
  ChangeBgBtn* searchBtn() const { return searchBtn_; }

 private:
  ArtistSearchView* searchArtist_;
  TNArtistRecommendView* recommendArtistsListView_;
  QWidget* tuicontainView_;
  ChangeBgBtn* myLoveBtn_;
  ChangeBgBtn* searchBtn_;
};

}  // namespace tonvera
