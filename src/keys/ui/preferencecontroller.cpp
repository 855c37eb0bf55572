#include "keys/ui/preferencecontroller.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "keys/preferences.h"

namespace tonvera {

PreferenceController::PreferenceController(UserDefaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Window), defaults_(defaults) {
  setWindowTitle(QStringLiteral("偏好设置"));
  colorWell_ = new QPushButton(this);
  colorWell_->setFixedSize(56, 24);
  colorWell_->setAccessibleName(QStringLiteral("表格背景颜色"));
  checkbox_ = new QCheckBox(QStringLiteral("封面切换动画"), this);
  checkbox_->setToolTip(QStringLiteral("专辑封面和艺人图片轮换时播放过渡动画"));
  reset_ = new QPushButton(QStringLiteral("恢复默认"), this);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("表格背景颜色："), colorWell_);
  form->addRow(QString(), checkbox_);
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
}

void PreferenceController::changeBackgroundColor(const QColor& color) {
  Preferences::setPreferenceTableBgColor(defaults_, color);
  showColor(color);
}

void PreferenceController::changeNewEmptyDoc(bool on) { Preferences::setPreferenceEmptyDoc(defaults_, on); }

void PreferenceController::resetPreferences() {
  Preferences::resetPreferences(defaults_);
  reloadFromPreferences();
}

}  // namespace tonvera
