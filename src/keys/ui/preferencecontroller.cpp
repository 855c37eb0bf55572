#include "keys/ui/preferencecontroller.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "keys/preferences.h"

namespace tonvera {

PreferenceController::PreferenceController(UserDefaults& defaults, QWidget* parent, bool trayAvailable)
    : QWidget(parent, Qt::Window), defaults_(defaults) {
  setWindowTitle(tr("偏好设置"));
  colorWell_ = new QPushButton(this);
  colorWell_->setFixedSize(56, 24);
  colorWell_->setAccessibleName(tr("表格背景颜色"));
  checkbox_ = new QCheckBox(tr("封面切换动画"), this);
  checkbox_->setToolTip(tr("专辑封面和艺人图片轮换时播放过渡动画"));
  notifications_ = new QCheckBox(tr("歌曲通知"), this);
  notifications_->setToolTip(tr("每首歌开始时显示一条桌面通知（窗口在前台时不显示）"));
  closeToTray_ = new QCheckBox(tr("关闭窗口后在托盘中继续播放"), this);
  closeToTray_->setToolTip(trayAvailable ? tr("从托盘图标的菜单打开窗口或退出")
                                         : tr("桌面没有托盘：关闭窗口即退出"));
  closeToTray_->setEnabled(trayAvailable);
  desktopLyrics_ = new QCheckBox(tr("桌面歌词"), this);
  desktopLyrics_->setToolTip(tr("在桌面上显示正在唱的歌词，总在其他窗口之上"));
  // Each language by its own name; the choice applies at the next start.
  language_ = new QComboBox(this);
  language_->addItem(tr("跟随系统"), QString());
  language_->addItem(QStringLiteral("中文"), QStringLiteral("zh"));
  language_->addItem(QStringLiteral("English"), QStringLiteral("en"));
  language_->setToolTip(tr("重新启动 Tonvera 后生效"));
  reset_ = new QPushButton(tr("恢复默认"), this);

  auto* form = new QFormLayout;
  form->addRow(tr("表格背景颜色："), colorWell_);
  form->addRow(QString(), checkbox_);
  form->addRow(QString(), notifications_);
  form->addRow(QString(), closeToTray_);
  form->addRow(QString(), desktopLyrics_);
  form->addRow(tr("语言："), language_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(reset_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addStretch();
  layout->addLayout(buttons);

  connect(colorWell_, &QPushButton::clicked, this, [this] {
    // Not modal: the player keeps running while the colour is chosen.
    auto* dialog = new QColorDialog(Preferences::preferenceTableBgColor(defaults_), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    connect(dialog, &QColorDialog::colorSelected, this, [this](const QColor& c) { changeBackgroundColor(c); });
    dialog->open();
  });
  connect(checkbox_, &QCheckBox::clicked, this, [this](bool on) { changeNewEmptyDoc(on); });
  connect(notifications_, &QCheckBox::clicked, this,
          [this](bool on) { Preferences::setSongNotifications(defaults_, on); });
  connect(closeToTray_, &QCheckBox::clicked, this,
          [this](bool on) { Preferences::setCloseToTray(defaults_, on); });
  connect(language_, &QComboBox::activated, this, [this](int index) {
    Preferences::setLanguage(defaults_, language_->itemData(index).toString().toStdString());
  });
  connect(desktopLyrics_, &QCheckBox::clicked, this,
          [this](bool on) { Preferences::setDesktopLyrics(defaults_, on); });
  changes_ = ScopedObserver(NotificationCenter::defaultCenter(), kPreferencesChangedNotification, nullptr,
                            [this](const Notification&) { reloadFromPreferences(); });
  connect(reset_, &QPushButton::clicked, this, [this] { resetPreferences(); });
  reloadFromPreferences();
}

void PreferenceController::showColor(const QColor& color) {
  colorWell_->setStyleSheet(QStringLiteral("QPushButton { background: %1; border: 1px solid #808080; }")
                                .arg(color.name(QColor::HexArgb)));
}

void PreferenceController::reloadFromPreferences() {
  showColor(Preferences::preferenceTableBgColor(defaults_));
  checkbox_->setChecked(Preferences::preferenceEmptyDoc(defaults_));
  notifications_->setChecked(Preferences::songNotifications(defaults_));
  closeToTray_->setChecked(Preferences::closeToTray(defaults_));
  desktopLyrics_->setChecked(Preferences::desktopLyrics(defaults_));
  language_->setCurrentIndex(std::max(0, language_->findData(QString::fromStdString(Preferences::language(defaults_)))));
}

void PreferenceController::changeBackgroundColor(const QColor& color) {
  Preferences::setPreferenceTableBgColor(defaults_, color);
}

void PreferenceController::changeNewEmptyDoc(bool on) { Preferences::setPreferenceEmptyDoc(defaults_, on); }

void PreferenceController::resetPreferences() {
  Preferences::resetPreferences(defaults_);
}

}  // namespace tonvera
