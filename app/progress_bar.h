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

    // The tooltip tells the byte counts, which change with every chunk of a
    // transfer. The bar holds the newest text here at once; the widget's
    // own tooltip, which only the event loop ever shows and which costs an
    // event to change, takes it at PublishToolTip.
    const QString& ToolTipText() const { return mToolTipText; }
    void SetToolTipText(const QString& text) { mToolTipText = text; }
    void PublishToolTip();

private:
    void ShowPosition();
    int FilledSteps() const;

    float mMin = 0;
    float mMax = 100;
    float mValue = 0;
    int mShownSteps = -1;
    QString mToolTipText;
};
