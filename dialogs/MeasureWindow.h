#pragma once

#include <QLine>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <memory>
#include <optional>

class MeasureChart;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QynDisplayEx;
class QynRowPool;

// The measure window: the histogram of what a display shows with its clipped pixels, the
// statistics of a rectangle (or the whole image) and the levels along a line, all
// computed by the measure layer. They follow every image the display shows (a slot, each
// camera frame it draws), measured once the events waiting are handled, so a display
// showing frames faster than they are measured is measured at the newest one.
//
// While it shows, Shift+drag on the display draws the line and Ctrl+drag the rectangle
// (a plain drag still pans); both are typed too, as "X1,Y1,X2,Y2" and "X,Y,W,H" in image
// pixels, and stay on their pixels as the display zooms and pans. The numbers are
// read-only text a screen reader reads and the mouse or keyboard selects; Copy puts them
// on the clipboard tab-separated. A top-level window of its own; Escape closes it.
class MeasureWindow final : public QWidget {
    Q_OBJECT

public:
    explicit MeasureWindow(QWidget* parent = nullptr);
    ~MeasureWindow() override;

    // The display measured (borrowed; it may go first).
    void setDisplay(QynDisplayEx* display);

    // The rectangle measured (none: the whole image) and the line sampled (none: no profile).
    std::optional<QRect> region() const { return region_; }
    std::optional<QLine> line() const { return line_; }
    void setRegion(std::optional<QRect> region);
    void setLine(std::optional<QLine> line);

    // Everything Copy puts on the clipboard: statistics, clipped pixels, profile, histogram.
    QString numbersText() const;
    // How many times the shown image was measured.
    int measureCount() const { return measureCount_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Asks for one measurement once the events waiting are handled; more asks meanwhile add none.
    void measureSoon();
    void measureNow();
    void showOverlay();
    void txtRegion_EditingFinished();
    void txtLine_EditingFinished();
    void cmdCopy_Click();

    QPointer<QynDisplayEx> display_;
    std::optional<QRect> region_;
    std::optional<QLine> line_;
    std::optional<QRect> measuredRegion_;  // region_ as measured: inside the image
    std::optional<QLine> measuredLine_;
    enum class Drag { None, Line, Region } drag_ = Drag::None;
    QPoint dragFrom_;
    bool pending_ = false;
    int measureCount_ = 0;
    QString statsText_, clippingText_, profileText_, histogramText_;
    QString regionText_, lineText_;  // what the fields show when not being typed in
    std::unique_ptr<QynRowPool> pool_;

    QLabel* lblHistogram;
    MeasureChart* chtHistogram;
    QLabel* lblClipping;
    QLabel* lblProfile;
    MeasureChart* chtProfile;
    QLabel* lblRegion;
    QLineEdit* txtRegion;
    QPushButton* cmdWholeImage;
    QLabel* lblLine;
    QLineEdit* txtLine;
    QPushButton* cmdNoLine;
    QLabel* lblHint;
    QLabel* lblStats;
    QPlainTextEdit* txtStats;
    QLabel* lblProfileValues;
    QPlainTextEdit* txtProfile;
    QPushButton* cmdCopy;
    QPushButton* cmdClose;
};
