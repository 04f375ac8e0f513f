// Builds the window: every control with its text, place, size, font and
// colour, and the order the focus moves in.
#include "app/frm_update.h"

#include "app/progress_bar.h"
#include "app/window_icon.h"

#include <QCheckBox>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {

// Places and sizes are kept in twips, the unit the window was drawn in.
constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

constexpr int kClientWidth = 7935;
constexpr int kClientHeight = 5400;

const char* const kSerifFamily = "Times New Roman";
// The metric-compatible face that stands in for the serif family on Linux.
const char* const kSerifStandIn = "Liberation Serif";

constexpr double kReadoutPoints = 9.75;
constexpr double kStatusPoints = 10.5;

const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 0, 255);

void Place(QWidget* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                      TwipsToPixels(height));
}

QFont SerifBold(double points) {
  QFont font(QString::fromLatin1(kSerifFamily));
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

// The labels that report on the transfer share one look.
void StyleReadout(QLabel* label, const QFont& font) {
  label->setFont(font);
  SetTextColour(label, kNavy);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  // These labels show file names and the server's own words: text as it
  // is, never markup, and no guessing at every change whether it might be.
  label->setTextFormat(Qt::PlainText);
  // Their place and size never change, so a new text, which some of them
  // get for every chunk of a transfer, asks for no new layout.
  label->setFixedSize(label->size());
  // They lie inside the window, away from any edge of a screen that a
  // notch or a system bar could cover, so no safe area applies to them;
  // Qt would otherwise work it out again for every new text.
  label->setAttribute(Qt::WA_ContentsMarginsRespectsSafeArea, false);
}

}  // namespace

// The fields keep their look and still let a user select and copy a path;
// the check box shows the current line's DEL and takes no click or key.
void FrmUpdate::MakeControlsViewOnly() {
  for (QLineEdit* field : {Text1, textLDIR, textDIR, Textimedat, textURL}) field->setReadOnly(true);
  Tdir->setReadOnly(true);
  Chkbrisi->installEventFilter(this);
}

FrmUpdate::FrmUpdate(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  SetupUi();
}

void FrmUpdate::SetupUi() {
  QFont::insertSubstitution(QString::fromLatin1(kSerifFamily), QString::fromLatin1(kSerifStandIn));

  setWindowTitle(QString::fromUtf8(kCaption));
  setWindowIcon(MakeWindowIcon());
  setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

  Tdir = new QPlainTextEdit(this);
  Place(Tdir, "Tdir", 4560, 480, 3252, 1812);
  Tdir->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Tdir->setTabChangesFocus(true);

  Chkbrisi = new QCheckBox(QString::fromUtf8("Pobriši izvor po prenosu"), this);
  Place(Chkbrisi, "Chkbrisi", 120, 2400, 3012, 252);

  Text1 = new QLineEdit(this);
  Place(Text1, "Text1", 3240, 2640, 4572, 285);

  textLDIR = new QLineEdit(this);
  Place(textLDIR, "textLDIR", 120, 1920, 4332, 288);

  textDIR = new QLineEdit(this);
  Place(textDIR, "textDIR", 120, 1200, 4332, 285);

  Textimedat = new QLineEdit(this);
  Place(Textimedat, "Textimedat", 3240, 3360, 4572, 285);

  textURL = new QLineEdit(this);
  Place(textURL, "textURL", 120, 480, 4332, 285);

  Command3 = new QPushButton(QString::fromUtf8("Zapri"), this);
  Place(Command3, "Command3", 6000, 0, 1695, 375);
  connect(Command3, &QPushButton::clicked, this, &FrmUpdate::Command3_Click);

  PB = new ProgressBar(this);
  Place(PB, "PB", 120, 4560, 4692, 348);

  Lblmode = new QLabel(QString::fromUtf8("Aktivno"), this);
  Place(Lblmode, "Lblmode", 3840, 120, 540, 195);
  SetTextColour(Lblmode, kBlue);
  Lblmode->adjustSize();

  Label6 = new QLabel(QString::fromUtf8("Kestrin FTP prenos"), this);
  Place(Label6, "Label6", 2520, 5160, 2295, 255);

  Label5 = new QLabel(QString::fromUtf8("Lokalni imenik:"), this);
  Place(Label5, "Label5", 120, 1680, 3012, 252);

  Label4 = new QLabel(QString::fromUtf8("Datoteka ki se prenaša:"), this);
  Place(Label4, "Label4", 3240, 3000, 2652, 252);

  Label2 = new QLabel(QString::fromUtf8("Začetni imenik  na FTP strežniku:"), this);
  Place(Label2, "Label2", 120, 960, 3012, 252);

  Label1 = new QLabel(QString::fromUtf8("Strežnik:"), this);
  Place(Label1, "Label1", 120, 240, 855, 255);

  const QFont readoutFont = SerifBold(kReadoutPoints);

  Label11 = new QLabel(QString::fromUtf8("Do konca še: 00:00:00"), this);
  Place(Label11, "Label11", 120, 3600, 2772, 252);
  StyleReadout(Label11, readoutFont);

  Label10 = new QLabel(this);
  Place(Label10, "Label10", 4680, 3960, 1215, 255);
  StyleReadout(Label10, readoutFont);

  Label9 = new QLabel(this);
  Place(Label9, "Label9", 5040, 4560, 1212, 252);
  StyleReadout(Label9, readoutFont);

  Label7 = new QLabel(this);
  Place(Label7, "Label7", 0, 3960, 5895, 255);
  StyleReadout(Label7, readoutFont);

  Label3 = new QLabel(QString::fromUtf8("Status:"), this);
  Place(Label3, "Label3", 120, 2880, 2775, 615);
  StyleReadout(Label3, SerifBold(kStatusPoints));
  Label3->setWordWrap(true);

  MakeControlsViewOnly();

  setTabOrder(Command3, textURL);
  setTabOrder(textURL, Textimedat);
  setTabOrder(Textimedat, textDIR);
  setTabOrder(textDIR, textLDIR);
  setTabOrder(textLDIR, Text1);
  setTabOrder(Text1, Chkbrisi);
  setTabOrder(Chkbrisi, Tdir);

  const QRect screenArea = screen()->availableGeometry();
  move(screenArea.center() - rect().center());
}
