// A progress bar that keeps its range and position as single-precision
// numbers, so that byte counts can be set on it directly.
#pragma once

#include <QProgressBar>

class ProgressBar : public QProgressBar
{
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

private:
    void ShowPosition();
    int FilledSteps() const;

    float mMin = 0;
    float mMax = 100;
    float mValue = 0;
    int mShownSteps = -1;
};
