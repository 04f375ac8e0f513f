// The window as it stands before any transfer: its controls, their look,
// the order the focus takes, and the pieces it is built from.

#include "app/frm_update.h"
#include "app/progress_bar.h"
#include "app/timer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTime>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

struct Control {
  QWidget* widget;
  const char* name;
  QRect pixels;
  QString text;
};

QString TextOf(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* line = qobject_cast<QLineEdit*>(w)) return line->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* box = qobject_cast<QPlainTextEdit*>(w)) return box->toPlainText();
  return {};
}

std::vector<Control> AllControls(FrmUpdate& f) {
  return {
      {f.Tdir, "Tdir", {304, 32, 217, 121}, ""},
      {f.Chkbrisi, "Chkbrisi", {8, 160, 201, 17}, "Pobriši izvor po prenosu"},
      {f.Text1, "Text1", {216, 176, 305, 19}, ""},
      {f.textLDIR, "textLDIR", {8, 128, 289, 19}, ""},
      {f.textDIR, "textDIR", {8, 80, 289, 19}, ""},
      {f.Textimedat, "Textimedat", {216, 224, 305, 19}, ""},
      {f.textURL, "textURL", {8, 32, 289, 19}, ""},
      {f.Command3, "Command3", {400, 0, 113, 25}, "Zapri"},
      {f.PB, "PB", {8, 304, 313, 23}, ""},
      {f.Label6, "Label6", {168, 344, 153, 17}, "Kestrin FTP prenos"},
      {f.Label5, "Label5", {8, 112, 201, 17}, "Lokalni imenik:"},
      {f.Label4, "Label4", {216, 200, 177, 17}, "Datoteka ki se prenaša:"},
      {f.Label2, "Label2", {8, 64, 201, 17}, "Začetni imenik  na FTP strežniku:"},
      {f.Label1, "Label1", {8, 16, 57, 17}, "Strežnik:"},
      {f.Label11, "Label11", {8, 240, 185, 17}, "Do konca še: 00:00:00"},
      {f.Label10, "Label10", {312, 264, 81, 17}, ""},
      {f.Label9, "Label9", {336, 304, 81, 17}, ""},
      {f.Label7, "Label7", {0, 264, 393, 17}, ""},
      {f.Label3, "Label3", {8, 192, 185, 41}, "Status:"},
  };
}

TEST(Window, ControlsHaveTheirNamesPlacesAndTexts) {
  FrmUpdate f;
  for (const Control& c : AllControls(f)) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(f.findChild<QWidget*>(c.name), c.widget);
    EXPECT_EQ(c.widget->geometry(), c.pixels);
    EXPECT_EQ(TextOf(c.widget), c.text);
    EXPECT_TRUE(c.widget->isEnabled());
  }
  EXPECT_EQ(f.findChild<QWidget*>("Lblmode"), f.Lblmode);
  EXPECT_EQ(f.Lblmode->text(), "Aktivno");
  EXPECT_EQ(f.Lblmode->pos(), QPoint(256, 8));
  EXPECT_FALSE(f.Chkbrisi->isChecked());
  EXPECT_TRUE(f.Label3->wordWrap());
  EXPECT_EQ(f.Tdir->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(Window, StartsAsAnIdleFixedCentredWindow) {
  FrmUpdate f;
  EXPECT_EQ(f.windowTitle(), "FTP prenos");
  EXPECT_EQ(f.size(), QSize(529, 360));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(f.geometry().center(), f.screen()->availableGeometry().center());
  const QList<QSize> iconSizes = f.windowIcon().availableSizes();
  EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
  EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
  EXPECT_EQ(f.PB->Min(), 0.0f);
  EXPECT_EQ(f.PB->Max(), 100.0f);
  EXPECT_EQ(f.PB->Value(), 0.0f);
  EXPECT_TRUE(f.PB->toolTip().isEmpty());
  EXPECT_EQ(f.mRate, 0.0f);
}

TEST(Window, ReadoutsUseNavyBoldSerifAndTheModeIsBlue) {
  FrmUpdate f;
  const QColor navy(0, 0, 128);
  for (QLabel* label : {f.Label11, f.Label10, f.Label9, f.Label7, f.Label3}) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_EQ(label->font().family(), "Times New Roman");
    EXPECT_EQ(QFontInfo(label->font()).family(), "Liberation Serif");
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pointSizeF(), label == f.Label3 ? 10.5 : 9.75);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), navy);
  }
  // The face that renders may already be the stand-in through the system's
  // font aliases; the substitution keeps it so where those are missing.
  EXPECT_TRUE(
      QFont::substitutes("Times New Roman").contains("Liberation Serif", Qt::CaseInsensitive));
  EXPECT_EQ(f.Lblmode->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(f.Lblmode->font(), QApplication::font());
  EXPECT_EQ(f.Label1->palette().color(QPalette::WindowText),
            QApplication::palette().color(QPalette::WindowText));
}

TEST(Window, FocusVisitsButtonTextBoxesCheckBoxInOrder) {
  FrmUpdate f;
  const std::vector<QWidget*> expected = {f.Command3, f.textURL, f.Textimedat, f.textDIR,
                                          f.textLDIR, f.Text1,   f.Chkbrisi,   f.Tdir};
  std::vector<QWidget*> order;
  QWidget* w = f.Command3;
  do {
    if (w->focusPolicy() & Qt::TabFocus) order.push_back(w);
    w = w->nextInFocusChain();
  } while (w != f.Command3);
  EXPECT_EQ(order, expected);
  EXPECT_TRUE(f.Tdir->tabChangesFocus());
}

TEST(Window, ModeLabelFitsItsWord) {
  FrmUpdate f;
  f.Lblmode->setText("Pasivno");
  f.show();
  EXPECT_EQ(f.Lblmode->size(), f.Lblmode->sizeHint());
  f.Lblmode->setText("Aktivno in pasivno");
  QApplication::processEvents();
  EXPECT_EQ(f.Lblmode->size(), f.Lblmode->sizeHint());
  EXPECT_EQ(f.Lblmode->pos(), QPoint(256, 8));
}

TEST(ProgressBarTest, KeepsEverySettingAndClampsOnlyTheDrawing) {
  ProgressBar bar;
  bar.SetMax(600);
  bar.SetValue(601);
  EXPECT_EQ(bar.Value(), 601.0f);
  EXPECT_EQ(bar.value(), bar.maximum());
  bar.SetValue(300);
  EXPECT_EQ(bar.value() * 2, bar.maximum());
  bar.SetMax(0);
  bar.SetValue(0);
  EXPECT_EQ(bar.Max(), bar.Min());
  EXPECT_EQ(bar.value(), bar.maximum());
  bar.SetValue(-5);
  EXPECT_EQ(bar.value(), bar.minimum());
}

TEST(TimerTest, CountsSecondsSinceMidnight) {
  const float t = Timer();
  const double expected = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
  EXPECT_GE(t, 0.0f);
  EXPECT_LE(t, 86400.0f);
  // Allows for the call in between, the float's resolution and a midnight
  // that falls between the two readings.
  EXPECT_NEAR(std::remainder(t - expected, 86400.0), 0.0, 0.5);
}

}  // namespace

// One application for all tests of the window; without a display the
// offscreen platform stands in.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
