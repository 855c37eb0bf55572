// The favourites page: the side menu, the song lists, the artist grids, the recommendations and the
// artist search, on real taste files in a temporary HOME and a service on 127.0.0.1.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <chrono>
#include <filesystem>

#include "controls/geometry.h"
#include "fake_service.h"
#include "golden.h"
#include "main_loop.h"
#include "platform/notificationcenter.h"
#include "platform/plist.h"
#include "records/picturecache.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "shared_state.h"
#include "taste/tnmanager.h"
#include "taste/ui/artistsearchview.h"
#include "taste/ui/loveviewcontroller.h"
#include "taste/ui/tnartistrecommendview.h"
#include "taste/ui/tnartistsearchandsimilarviewcontroller.h"
#include "taste/ui/tnartistslistviewcontroller.h"
#include "taste/ui/tnsongsviewcontroller.h"
#include "taste/ui/xbutton.h"
#include "temp_home.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;

Record artistRecord(const std::string& id, const std::string& name) {
  return Record{{"id", id}, {"name", name}};
}

Record songRecord(const std::string& id, const std::string& title, const std::string& artist) {
  return Record{{"id", id},
                {"name", title},
                {"artist", PlistValue::Array{PlistValue(Record{{"id", "a" + id}, {"name", artist}})}}};
}

// A reply listing artists `ids`, each named after its id.
std::string json(const std::vector<std::string>& ids) {
  std::string out = R"({"entries":[)";
  for (size_t i = 0; i < ids.size(); ++i)
    out += std::string(i ? "," : "") + R"({"id":")" + ids[i] + R"(","name":"N)" + ids[i] + R"("})";
  return out + "]}";
}

class Favourites : public ::testing::Test {
 protected:
  void SetUp() override { test::forgetTasteStore(); }
  void TearDown() override { test::forgetTasteStore(); }

  std::string file(const char* name) const { return home.dataHome() + "/Tonvera/000/" + name; }
  // A taste file holding `records` (id -> record), as an earlier run would have left it.
  void writeTasteFile(const char* name, const std::vector<Record>& records) {
    PlistValue::Dict root;
    for (const Record& r : records) root[*recordId(r)] = PlistValue(r);
    std::filesystem::create_directories(home.dataHome() + "/Tonvera/000");
    ASSERT_TRUE(writePlistFile(file(name), PlistValue(root)));
  }
  PlistValue::Dict readTasteFile(const char* name) const {
    const auto read = readPlistFile(file(name));
    return read.status == PlistFileRead::Status::Ok && read.value.isDict() ? read.value.dict()
                                                                           : PlistValue::Dict{};
  }
  // A cached squared picture for an artist: a soft two-colour gradient with a disc.
  static void cachePicture(const std::string& id, QColor a, QColor b) {
    QImage picture(160, 160, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&picture);
    QLinearGradient g(0, 0, 160, 160);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    p.fillRect(picture.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(255, 255, 255, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(80, 70), 34, 34);
    p.end();
    ASSERT_TRUE(picture.save(QString::fromStdString(*pictureCachePath(PictureKind::Artist, id)), "TIFF"));
  }

  test::TempHome home;
  test::FakeService service;  // picture and search requests reach this
};

struct OnBackground {
  test::Backdrop window{QColor(20, 26, 70), QColor(74, 42, 122)};  // night blue to violet
  LoveViewController page;
  OnBackground() {
    page.view()->setParent(&window);
    window.show();
  }
};

TNArtistTableCell* gridRow(TNArtistsListViewController& grid, int row) {
  for (TableCell* cell : grid.artistsTableView()->visibleCells()) {
    if (cell->tag() == row) return qobject_cast<TNArtistTableCell*>(cell);
  }
  return nullptr;
}

// Moves the pointer onto `w` at `at`; true once `w` shows it is under the pointer.
template <typename W>
bool hover(W* w, QPoint at) {
  QTest::mouseMove(w, at);
  return runMainLoopUntil([&] { return w->isOver(); }, 5s);
}

int tilesIn(TNArtistTableCell* row) {
  int n = 0;
  for (int i = 0; i < 4; ++i) n += row->tileAt(i) != nullptr;
  return n;
}

TEST_F(Favourites, SideMenuShowsEachSubPageAndAClickAtHeight150PicksTheAddPage) {
  OnBackground shown;
  LoveViewController& page = shown.page;
  EXPECT_EQ(page.index(), 0);
  // Window points (bottom-up y) of the menu's items; 90-136 is the gap between the groups, and
  // points left of x 67, from x 127 on and below y 42 are outside every item.
  const struct {
    int x, y, index;
  } clicks[] = {{90, 150, 2}, {90, 190, 0}, {90, 60, 4},   {90, 70, 3}, {90, 100, 3},
                {90, 165, 1}, {60, 170, 1}, {127, 170, 1}, {67, 42, 4}, {100, 30, 4}};
  for (const auto& c : clicks) {
    QTest::mouseClick(page.tabView(), Qt::LeftButton, {},
                      geometry::toBottomUp(QPointF(c.x, c.y), 256).toPoint());
    EXPECT_EQ(page.index(), c.index) << "at " << c.x << "," << c.y;
    for (int i = 0; i < LoveViewController::kSubPages; ++i) {
      EXPECT_EQ(page.controll(i)->isVisible(), i == c.index)
          << "at " << c.x << "," << c.y << ", sub-page " << i;
    }
  }
}

TEST_F(Favourites, RemovingTheOnlyLikedSongEmptiesListTableAndFile) {
  writeTasteFile(TNManager::kLoveFileName, {songRecord("s1", "晴天", "周杰伦")});
  OnBackground shown;
  shown.page.tabViewSelectIndex(3);
  auto* list = static_cast<TNSongsViewController*>(shown.page.controll(3));
  ASSERT_EQ(list->songsTableView()->rowCount(), 1);
  auto* row = qobject_cast<TNSongTableCell*>(list->songsTableView()->visibleCells().at(0));

  // Over the row its X button shows; moving onto the button keeps the row highlighted.
  ASSERT_TRUE(hover(row, QPoint(150, 10)));
  EXPECT_TRUE(row->delButton()->isVisible());
  ASSERT_TRUE(hover(row->delButton(), QPoint(10, 10)));
  EXPECT_TRUE(row->isOver());
  QTest::mouseClick(row->delButton(), Qt::LeftButton, {}, QPoint(10, 10));

  EXPECT_TRUE(TNManager::sharedManager().likeSongs().empty());
  EXPECT_EQ(list->songsTableView()->rowCount(), 0);
  EXPECT_EQ(list->songsTableView()->emptyText(), QStringLiteral("还没有喜欢的歌曲"));  // drawn in its place
  EXPECT_TRUE(readTasteFile(TNManager::kLoveFileName).empty());
}

TEST_F(Favourites, SongListsFollowTheirNotificationsAndLookAsTheyShould) {
  writeTasteFile(TNManager::kLoveFileName,
                 {songRecord("s1", "晴天", "周杰伦"), songRecord("s2", "Yellow", "Coldplay"),
                  songRecord("s3", std::string(10000, 'x'), "Long")});
  OnBackground shown;
  shown.page.tabViewSelectIndex(3);
  auto* list = static_cast<TNSongsViewController*>(shown.page.controll(3));
  auto* disliked = static_cast<TNSongsViewController*>(shown.page.controll(4));
  EXPECT_EQ(list->songsTableView()->rowCount(), 3);
  EXPECT_EQ(disliked->songsTableView()->rowCount(), 0);

  // A dislike elsewhere reaches the hidden list through its notification.
  TNManager::sharedManager().hateSong(TNSong::create(songRecord("s9", "Numb", "Linkin Park")), true);
  EXPECT_EQ(disliked->songsTableView()->rowCount(), 1);

  ASSERT_TRUE(
      hover(qobject_cast<TNSongTableCell*>(list->songsTableView()->visibleCells().at(1)), QPoint(150, 10)));
  EXPECT_GOLDEN(shown.window, "taste/favourites-songs");
}

TEST_F(Favourites, FiveArtistsGiveTwoRowsWithoutStaleTilesAndTheGridLooksAsItShould) {
  std::vector<Record> artists;
  for (int i = 1; i <= 8; ++i)
    artists.push_back(artistRecord("r" + std::to_string(i), "歌手" + std::to_string(i)));
  writeTasteFile(TNManager::kLoveArtistsFileName, artists);
  OnBackground shown;
  auto* grid = static_cast<TNArtistsListViewController*>(shown.page.controll(0));
  ASSERT_EQ(grid->artistsTableView()->rowCount(), 2);

  // Three artists go (disliked by the now-playing page, say): the reused second row keeps one tile.
  auto& liked = TNManager::sharedManager().likeArtists();
  while (liked.size() > 5) TNManager::sharedManager().likeArtist(liked.back(), false);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_EQ(grid->artistsTableView()->rowCount(), 2);
  EXPECT_EQ(tilesIn(gridRow(*grid, 0)), 4);
  ASSERT_EQ(tilesIn(gridRow(*grid, 1)), 1);
  EXPECT_EQ(gridRow(*grid, 1)->tileAt(0)->artist(), liked[4]);

  // Pictures: two cached, the others on the placeholder (their lookups fail: no such service path).
  cachePicture(*liked[0]->artistkId(), QColor(255, 159, 75), QColor(120, 40, 140));
  cachePicture(*liked[2]->artistkId(), QColor(40, 120, 200), QColor(20, 24, 80));
  grid->refreshData();
  ArtistView* second = gridRow(*grid, 0)->tileAt(1);
  ASSERT_TRUE(hover(second, QPoint(60, 40)));
  EXPECT_GOLDEN(shown.window, "taste/favourites-artists");

  // Removing the only artist of the last row removes the row, the entry and its file record.
  ArtistView* tile = gridRow(*grid, 1)->tileAt(0);
  ASSERT_TRUE(hover(tile, QPoint(40, 40)));
  QTest::mouseClick(tile->delButton(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(grid->artistsTableView()->rowCount(), 1);
  EXPECT_EQ(liked.size(), 4u);
  EXPECT_EQ(readTasteFile(TNManager::kLoveArtistsFileName).size(), 4u);
}

TEST_F(Favourites, NamePanelCoversTheTwoTilesBesideTheHoveredOne) {
  std::vector<Record> artists;
  for (int i = 1; i <= 4; ++i)
    artists.push_back(artistRecord("p" + std::to_string(i), "P" + std::to_string(i)));
  writeTasteFile(TNManager::kLoveArtistsFileName, artists);
  OnBackground shown;
  auto* grid = static_cast<TNArtistsListViewController*>(shown.page.controll(0));
  TNArtistTableCell* row = gridRow(*grid, 0);
  const int panelX[] = {95, 179, 15, 99};  // right of tiles 0 and 1, left of tiles 2 and 3
  for (int i = 0; i < 4; ++i) {
    ArtistView* tile = row->tileAt(i);
    ASSERT_TRUE(hover(tile, QPoint(60, 40))) << "tile " << i;
    EXPECT_EQ(row->colorView()->x(), panelX[i]) << "tile " << i;
    EXPECT_TRUE(row->colorView()->isVisible());
    ASSERT_TRUE(hover(tile->delButton(), QPoint(10, 10)));  // onto the tile's button: still hovered
    EXPECT_TRUE(tile->isOver());
    // Off the tiles (the row's top margin): panel and button go.
    QTest::mouseMove(row, QPoint(tile->x() + 40, 0));
    ASSERT_TRUE(runMainLoopUntil([&] { return !tile->isOver(); }, 5s)) << "tile " << i;
    EXPECT_FALSE(row->colorView()->isVisible());
    EXPECT_FALSE(tile->delButton()->isVisible());
  }
}

TEST_F(Favourites, RecommendationsAreDeduplicatedInOrderAndReloadOnlyForTheFirstFifteen) {
  writeTasteFile(TNManager::kLoveArtistsFileName, {artistRecord("l1", "L1")});
  // Liked artists in list order: the file's walk order decides it, so ask the store.
  TNManager::sharedManager().likeArtist(TNArtist::create(artistRecord("l2", "L2")), true);
  const auto first = TNManager::sharedManager().likeArtists().front()->artistkId();
  const auto second = TNManager::sharedManager().likeArtists().back()->artistkId();
  std::vector<std::string> a, b = {"x3", "y1", "x12"}, ys;
  for (int i = 1; i <= 12; ++i) a.push_back("x" + std::to_string(i));
  for (int i = 1; i <= 8; ++i) ys.push_back("y" + std::to_string(i));
  b.insert(b.end(), ys.begin() + 1, ys.end());
  service.serve("/artists/" + *first + "/similar", json(a));
  std::string withoutId = json(b);
  withoutId.insert(12, R"({"name":"no id"},)");  // skipped
  service.serve("/artists/" + *second + "/similar", withoutId);

  TNArtistRecommendView grid(QRect(0, 0, 367, 212));
  grid.show();
  ASSERT_TRUE(runMainLoopUntil([&] { return grid.reconnmendArtistIds().size() == 20; }, 10s));
  std::vector<std::string> expected = a;
  expected.insert(expected.end(), ys.begin(), ys.end());
  std::vector<std::string> shown;
  for (const auto& artist : grid.artists()) shown.push_back(artist->artistkId().value_or(""));
  EXPECT_EQ(shown, expected);
  // The last reload saw 15 artists: four rows, not five.
  EXPECT_EQ(grid.artistsTableView()->rowCount(), 4);

  // Adding one: liked, announced, gone from the grid for good; the grid reloads and shows the rest.
  int posts = 0;
  ScopedObserver observer(NotificationCenter::defaultCenter(), "likeArtist", nullptr,
                          [&](const Notification&) { ++posts; });
  auto* row = qobject_cast<TNArtistTableCell*>(grid.artistsTableView()->visibleCells().at(0));
  EXPECT_EQ(row->tileAt(0)->delButton()->index(), 1);
  ASSERT_TRUE(hover(row->tileAt(0), QPoint(40, 40)));
  QTest::mouseClick(row->tileAt(0)->delButton(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(posts, 1);
  EXPECT_TRUE(TNManager::sharedManager().isLove(*TNArtist::create(artistRecord("x1", "X1"))));
  EXPECT_EQ(grid.artists().size(), 19u);
  EXPECT_EQ(grid.artistsTableView()->rowCount(), 5);
  EXPECT_EQ(grid.artists().front()->artistkId(), "x2");
}

TEST_F(Favourites, SearchFillsTheListAddsArtistsAsTogglesAndSaysWhenNothingIsFound) {
  TNManager::sharedManager().likeArtist(TNArtist::create(artistRecord("k2", "Known")), true);
  service.serve("/artists/search.json", json({"k1", "k2", "k3"}));
  TNArtistSearchAndSimilarViewController page(QRect(0, 0, 367, 256));
  page.show();
  QTest::mouseClick(page.searchBtn(), Qt::LeftButton, {}, QPoint(40, 14));
  ASSERT_TRUE(page.searchArtist()->isVisible());
  EXPECT_TRUE(page.searchBtn()->isSelect());
  EXPECT_FALSE(page.myLoveBtn()->isSelect());

  ArtistSearchView& search = *page.searchArtist();
  QTest::keyClicks(search.searchField(), QStringLiteral("k"));
  EXPECT_EQ(service.hits("/artists/search.json"), 0);  // typing alone searches nothing
  QTest::keyClick(search.searchField(), Qt::Key_Return);
  ASSERT_TRUE(runMainLoopUntil([&] { return search.songsTableView()->rowCount() == 3; }, 10s));

  // Adding "Known", already liked, takes it off the liked artists (and its file).
  int posts = 0;
  ScopedObserver observer(NotificationCenter::defaultCenter(), "likeArtist", nullptr,
                          [&](const Notification&) { ++posts; });
  auto* row = qobject_cast<TNArtistCell*>(search.songsTableView()->visibleCells().at(1));
  ASSERT_EQ(row->artist()->artistkId(), "k2");
  EXPECT_EQ(row->delButton()->index(), 1);
  row->removeAction();
  EXPECT_EQ(posts, 1);
  EXPECT_TRUE(TNManager::sharedManager().likeArtists().empty());
  EXPECT_TRUE(readTasteFile(TNManager::kLoveArtistsFileName).empty());
  EXPECT_EQ(search.songsTableView()->rowCount(), 2);

  // A search that finds nothing empties the list, which says so.
  service.serve("/artists/search.json", R"({"entries":[]})");
  search.searchField()->setText(QStringLiteral("无此人"));
  QTest::keyClick(search.searchField(), Qt::Key_Return);
  ASSERT_TRUE(runMainLoopUntil([&] { return search.songsTableView()->rowCount() == 0; }, 10s));
  EXPECT_EQ(search.songsTableView()->emptyText(), QStringLiteral("没有找到相关的艺人"));
}

TEST_F(Favourites, RecommendationsSayWhenTheServiceHasNoSimilarArtists) {
  writeTasteFile(TNManager::kLoveArtistsFileName, {artistRecord("l1", "L1")});
  service.serve("/artists/l1/similar", R"({"entries":[]})");
  TNArtistRecommendView grid(QRect(0, 0, 367, 212));
  grid.show();
  ASSERT_TRUE(runMainLoopUntil([&] { return !grid.artistsTableView()->emptyText().isEmpty(); }, 10s));
  EXPECT_EQ(grid.artistsTableView()->rowCount(), 0);
}

}  // namespace
}  // namespace tonvera
