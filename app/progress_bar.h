// A progress bar that keeps its range and position as single-precision
// numbers, so that byte counts can be set on it directly.
#pragma once

#include <QProgressBar>

class ProgressBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit ProgressBar(QWidget* parent = nullptr);

  float Min() const { return mMin; }
  float Max() const { return mMax; }
  float Value() const { return mValue; }

  // Every setting is kept as given, even a maximum equal to the minimum or
  // a value outside the range: callers read back what they set. Only the
  // drawn bar is clamped.
  void SetMin(float min);
  void SetMax(float max);
  void SetValue(float value);
  // A transfer's counts, taken for every chunk: the range from 0 to `max`,
  // the position at `value` and the tooltip's counts, all kept without
  // drawing anything. Redraw shows them.
  void Take(float max, float value) {
    mMin = 0;
    mMax = max;
    mValue = value;
    mToolTipCounts = {value, max, true};
  }
  void Redraw() {
    ShowPosition();
    PublishToolTip();
  }

  // The tooltip tells how many bytes of how many have moved. The counts
  // change with every chunk of a transfer, so the bar only notes them, and
  // writes the text out when it is read, or at PublishToolTip for the
  // widget's own tooltip, which only the event loop ever shows.
  QString ToolTipText() const;  // empty before any counts are taken
  void PublishToolTip();

 private:
  void ShowPosition();
  int FilledSteps() const;

  float mMin = 0;
  float mMax = 100;
  float mValue = 0;
  int mShownSteps = -1;

  struct Counts {
    float value = 0;
    float max = 0;
    bool shown = false;
  };
  Counts mToolTipCounts;
  Counts mPublishedCounts;
};
