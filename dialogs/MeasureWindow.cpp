#include "MeasureWindow.h"

#include "MeasureChart.h"
#include "QynDisplayEx.h"
#include "QynHistogram.h"
#include "QynLineProfile.h"
#include "QynMeasureText.h"
#include "QynRegionStats.h"
#include "QynRowPool.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <system_error>

namespace {

QColor channelColour(bool color, int channel)
{
    if (!color)
        return QColor(0x30, 0x30, 0x30);
    switch (channel) {
    case 0: return QColor(0xd0, 0x20, 0x20);
    case 1: return QColor(0x20, 0x90, 0x20);
    default: return QColor(0x20, 0x40, 0xd0);
    }
}

QPlainTextEdit* numbersBox(QWidget* parent, const char* name, const QString& accessibleName)
{
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setAccessibleName(accessibleName);
    box->setReadOnly(true);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setTabStopDistance(box->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
    // The statistics of a colour image whole: six lines.
    box->setMinimumHeight(box->fontMetrics().lineSpacing() * 6 + 2 * box->frameWidth() + 8);
    box->setTabChangesFocus(true);
    return box;
}

// "red: 12 at 0, 3 at 255", a line for each channel: the histogram's clipped pixels.
QString clippingSentence(const QynHistogram& histogram)
{
    QStringList parts;
    for (int c = 0; c < histogram.channelCount(); ++c)
        parts << QStringLiteral("%1: %2 at 0, %3 at 255")
                     .arg(qyn::channelName(histogram.color, c))
                     .arg(histogram.atZero(c))
                     .arg(histogram.atFull(c));
    return QStringLiteral("Clipped pixels of the image:\n") + parts.join('\n');
}

}  // namespace

MeasureWindow::MeasureWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmMeasure"));
    setWindowTitle(QStringLiteral("Measure"));
    setAccessibleName(QStringLiteral("Measure"));

    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(QString(text).remove('&'));
        b->setAutoDefault(false);
        return b;
    };
    auto field = [this](const char* name, const QString& accessibleName, const QString& placeholder) {
        auto* f = new QLineEdit(this);
        f->setObjectName(QString::fromLatin1(name));
        f->setAccessibleName(accessibleName);
        f->setPlaceholderText(placeholder);
        return f;
    };

    // In tab order: the fields and buttons, the numbers, Copy and Close.
    lblHistogram = label("lblHistogram", QStringLiteral("Histogram"));
    chtHistogram = new MeasureChart(this);
    chtHistogram->setObjectName(QStringLiteral("chtHistogram"));
    chtHistogram->setAccessibleName(QStringLiteral("Histogram"));
    lblClipping = label("lblClipping", QString());
    lblClipping->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblProfile = label("lblProfile", QStringLiteral("Line profile"));
    chtProfile = new MeasureChart(this);
    chtProfile->setObjectName(QStringLiteral("chtProfile"));
    chtProfile->setAccessibleName(QStringLiteral("Line profile"));
    lblRegion = label("lblRegion", QStringLiteral("&Region"));
    txtRegion = field("txtRegion", QStringLiteral("Region"), QStringLiteral("X,Y,W,H"));
    cmdWholeImage = button("cmdWholeImage", QStringLiteral("&Whole Image"));
    lblLine = label("lblLine", QStringLiteral("&Line"));
    txtLine = field("txtLine", QStringLiteral("Line"), QStringLiteral("X1,Y1,X2,Y2"));
    cmdNoLine = button("cmdNoLine", QStringLiteral("&No Line"));
    lblHint = label("lblHint", QStringLiteral("On the display, Shift+drag draws the line and Ctrl+drag the region "
                                              "(image pixels)."));
    lblHint->setWordWrap(true);
    lblStats = label("lblStats", QStringLiteral("&Statistics"));
    txtStats = numbersBox(this, "txtStats", QStringLiteral("Statistics"));
    lblProfileValues = label("lblProfileValues", QStringLiteral("&Profile values"));
    txtProfile = numbersBox(this, "txtProfile", QStringLiteral("Profile values"));
    cmdCopy = button("cmdCopy", QStringLiteral("&Copy"));
    cmdClose = button("cmdClose", QStringLiteral("Close"));
    lblRegion->setBuddy(txtRegion);
    lblLine->setBuddy(txtLine);
    lblStats->setBuddy(txtStats);
    lblProfileValues->setBuddy(txtProfile);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblHistogram, 0, 0, 1, 3);
    grid->addWidget(chtHistogram, 1, 0, 1, 3);
    grid->addWidget(lblClipping, 2, 0, 1, 3);
    grid->addWidget(lblProfile, 3, 0, 1, 3);
    grid->addWidget(chtProfile, 4, 0, 1, 3);
    grid->addWidget(lblRegion, 5, 0);
    grid->addWidget(txtRegion, 5, 1);
    grid->addWidget(cmdWholeImage, 5, 2);
    grid->addWidget(lblLine, 6, 0);
    grid->addWidget(txtLine, 6, 1);
    grid->addWidget(cmdNoLine, 6, 2);
    grid->addWidget(lblHint, 7, 0, 1, 3);
    grid->addWidget(lblStats, 8, 0, 1, 3);
    grid->addWidget(txtStats, 9, 0, 1, 3);
    grid->addWidget(lblProfileValues, 10, 0, 1, 3);
    grid->addWidget(txtProfile, 11, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCopy);
    buttons->addWidget(cmdClose);
    grid->addLayout(buttons, 12, 0, 1, 3);
    grid->setRowStretch(1, 2);
    grid->setRowStretch(4, 2);
    grid->setRowStretch(9, 1);
    grid->setRowStretch(11, 1);
    grid->setColumnStretch(1, 1);
    resize(640, 760);

    connect(txtRegion, &QLineEdit::editingFinished, this, &MeasureWindow::txtRegion_EditingFinished);
    connect(txtLine, &QLineEdit::editingFinished, this, &MeasureWindow::txtLine_EditingFinished);
    connect(cmdWholeImage, &QPushButton::clicked, this, [this] { setRegion(std::nullopt); });
    connect(cmdNoLine, &QPushButton::clicked, this, [this] { setLine(std::nullopt); });
    connect(cmdCopy, &QPushButton::clicked, this, &MeasureWindow::cmdCopy_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
}

MeasureWindow::~MeasureWindow()
{
    if (display_) {
        display_->removeEventFilter(this);
        display_->setOverlay(std::nullopt, std::nullopt);
    }
}

void MeasureWindow::setDisplay(QynDisplayEx* display)
{
    if (display_) {
        display_->removeEventFilter(this);
        display_->setOverlay(std::nullopt, std::nullopt);
        disconnect(display_, nullptr, this, nullptr);
    }
    display_ = display;
    if (!display_)
        return;
    connect(display_, &QynDisplayEx::imageShown, this, &MeasureWindow::measureSoon);
    if (isVisible())
        display_->installEventFilter(this);
    measureSoon();
}

void MeasureWindow::setRegion(std::optional<QRect> region)
{
    region_ = region;
    measureSoon();
}

void MeasureWindow::setLine(std::optional<QLine> line)
{
    line_ = line;
    measureSoon();
}

void MeasureWindow::measureSoon()
{
    if (pending_ || !isVisible())
        return;
    pending_ = true;
    QTimer::singleShot(0, this, &MeasureWindow::measureNow);
}

void MeasureWindow::measureNow()
{
    pending_ = false;
    if (!isVisible())
        return;
    const std::shared_ptr<const QynPixelBuffer> pixels = display_ ? display_->shownPixels() : nullptr;
    measuredRegion_.reset();
    measuredLine_.reset();
    if (!pixels) {
        const QString none = QStringLiteral("No image shown.");
        chtHistogram->setNote(none);
        chtProfile->setNote(none);
        lblClipping->setText(none);
        txtStats->setPlainText(none);
        txtProfile->setPlainText(none);
        statsText_ = clippingText_ = profileText_ = histogramText_ = QString();
        showOverlay();
        return;
    }
    if (!pool_) {
        try {
            pool_ = std::make_unique<QynRowPool>(QynRowPool::coreCount());
        } catch (const std::system_error&) {
            // no threads to be had: the measurements run on this one
        }
    }
    // The image's histogram and the region's statistics from one reading of the image. A
    // rectangle wholly beside this image measures nothing; none measures the whole image.
    const auto [histogram, inRegion] = QynHistogram::imageAndRegion(*pixels, region_.value_or(QRect()), pool_.get());
    const QynRegionStats stats = QynRegionStats::of(inRegion);
    ++measureCount_;

    std::vector<MeasureChart::Series> counts;
    double top = 0;
    for (int c = 0; c < histogram.channelCount(); ++c) {
        const auto& levels = histogram.counts[std::size_t(c)];
        counts.push_back({channelColour(histogram.color, c), std::vector<double>(levels.begin(), levels.end())});
        // Scaled to the levels between the ends: a clipped image's spike at 0 or 255 would
        // flatten the rest, and its count is written out beside the chart.
        for (std::size_t v = 1; v < 255; ++v)
            top = std::max(top, double(levels[v]));
    }
    chtHistogram->setSeries(std::move(counts), top > 0 ? top : double(histogram.peak()));
    clippingText_ = qyn::clippingText(histogram);
    histogramText_ = qyn::histogramText(histogram);
    const QString clipping = clippingSentence(histogram);
    lblClipping->setText(clipping);
    chtHistogram->setAccessibleDescription(clipping);

    statsText_ = qyn::statsText(stats);
    txtStats->setPlainText(statsText_);
    if (region_)
        measuredRegion_ = stats.region;
    regionText_ = qyn::regionToText(stats.region);
    if (!txtRegion->hasFocus())
        txtRegion->setText(regionText_);

    if (line_) {
        const QynLineProfile profile = QynLineProfile::of(*pixels, *line_);
        measuredLine_ = profile.line;
        std::vector<MeasureChart::Series> levels;
        for (int c = 0; c < profile.channelCount(); ++c) {
            MeasureChart::Series s{channelColour(profile.color, c), {}};
            s.values.reserve(profile.samples.size());
            for (const QynLineProfile::Sample& sample : profile.samples)
                s.values.push_back(sample.level[std::size_t(c)]);
            levels.push_back(std::move(s));
        }
        chtProfile->setSeries(std::move(levels), 255);
        profileText_ = qyn::profileText(profile);
        txtProfile->setPlainText(profileText_);
        lineText_ = qyn::lineToText(profile.line);
        if (!txtLine->hasFocus())
            txtLine->setText(lineText_);
    } else {
        const QString none = QStringLiteral("No line: Shift+drag on the display, or type one above.");
        chtProfile->setNote(none);
        profileText_.clear();
        txtProfile->setPlainText(none);
        lineText_.clear();
        if (!txtLine->hasFocus())
            txtLine->clear();
    }
    showOverlay();
}

void MeasureWindow::showOverlay()
{
    if (display_)
        display_->setOverlay(isVisible() ? measuredLine_ : std::nullopt, isVisible() ? measuredRegion_ : std::nullopt);
}

QString MeasureWindow::numbersText() const
{
    if (statsText_.isEmpty())
        return {};
    return statsText_ + '\n' + clippingText_ + '\n' + (profileText_.isEmpty() ? QString() : profileText_ + '\n')
        + histogramText_;
}

void MeasureWindow::cmdCopy_Click()
{
    if (const QString text = numbersText(); !text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void MeasureWindow::txtRegion_EditingFinished()
{
    if (!txtRegion->isModified())
        return;
    txtRegion->setModified(false);
    if (const auto typed = qyn::regionFromText(txtRegion->text()))
        setRegion(typed);
    else
        txtRegion->setText(regionText_);  // not a rectangle: the one measured stays
}

void MeasureWindow::txtLine_EditingFinished()
{
    if (!txtLine->isModified())
        return;
    txtLine->setModified(false);
    if (txtLine->text().trimmed().isEmpty())
        setLine(std::nullopt);
    else if (const auto typed = qyn::lineFromText(txtLine->text()))
        setLine(typed);
    else
        txtLine->setText(lineText_);
}

bool MeasureWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched != display_.data()
        || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease))
        return QWidget::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton || !(mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
            return false;  // the display's own: panning
        const std::optional<QPoint> at = display_->pixelNearest(mouse->position());
        if (!at)
            return false;
        drag_ = mouse->modifiers() & Qt::ShiftModifier ? Drag::Line : Drag::Region;
        dragFrom_ = *at;
    } else if (drag_ == Drag::None) {
        return false;
    }
    if (const std::optional<QPoint> at = display_->pixelNearest(mouse->position())) {
        if (drag_ == Drag::Line)
            setLine(QLine(dragFrom_, *at));
        else
            setRegion(QRect(QPoint(std::min(dragFrom_.x(), at->x()), std::min(dragFrom_.y(), at->y())),
                            QPoint(std::max(dragFrom_.x(), at->x()), std::max(dragFrom_.y(), at->y()))));
    }
    if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton)
        drag_ = Drag::None;
    return true;
}

void MeasureWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (display_) {
        display_->removeEventFilter(this);  // never twice
        display_->installEventFilter(this);
    }
    measureSoon();
}

void MeasureWindow::hideEvent(QHideEvent* event)
{
    drag_ = Drag::None;
    if (display_) {
        display_->removeEventFilter(this);
        display_->setOverlay(std::nullopt, std::nullopt);
    }
    QWidget::hideEvent(event);
}

void MeasureWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
