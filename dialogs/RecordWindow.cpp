#include "RecordWindow.h"

#include "QynFrameListeners.h"
#include "QynRecordSettings.h"
#include "QynVideoRecording.h"
#include "StopSignals.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr std::size_t MiB = 1024 * 1024;

enum Length { Frames, Seconds, UntilStopped };

template <typename T>
T* named(T* widget, const char* objectName, const QString& accessibleName)
{
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setAccessibleName(accessibleName);
    return widget;
}

QString megabytes(double bytes)
{
    return QString::number(bytes / double(MiB), 'f', 1);
}

}  // namespace

RecordWindow::RecordWindow(QWidget* parent) : QWidget(parent, Qt::Window), timer_(new QTimer(this))
{
    setObjectName(QStringLiteral("frmRecord"));
    setAccessibleName(tr("Record"));
    setWindowTitle(tr("Record"));

    lblFolder = named(new QLabel(tr("&Folder"), this), "lblFolder", {});
    txtFolder = named(new QLineEdit(this), "txtFolder", tr("Folder"));
    txtFolder->setText(QDir(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
                           .filePath(QStringLiteral("recording")));
    lblFolder->setBuddy(txtFolder);
    cmdBrowse = named(new QPushButton(tr("&Browse..."), this), "cmdBrowse", tr("Browse for the folder"));
    lblFormat = named(new QLabel(tr("F&ormat"), this), "lblFormat", {});
    cmbFormat = named(new QComboBox(this), "cmbFormat", tr("Format"));
    cmbFormat->addItem(tr("BMP files"), int(QynRecordSettings::Format::Bmp));
    cmbFormat->addItem(tr("PNG files"), int(QynRecordSettings::Format::Png));
    cmbFormat->addItem(tr("TIFF files"), int(QynRecordSettings::Format::Tiff));
    cmbFormat->addItem(tr("One multi-page TIFF"), int(QynRecordSettings::Format::TiffPages));
    lblFormat->setBuddy(cmbFormat);
    lblLength = named(new QLabel(tr("&Length"), this), "lblLength", {});
    cmbLength = named(new QComboBox(this), "cmbLength", tr("Length"));
    cmbLength->addItem(tr("Frames"), Frames);
    cmbLength->addItem(tr("Seconds"), Seconds);
    cmbLength->addItem(tr("Until stopped"), UntilStopped);
    lblLength->setBuddy(cmbLength);
    spnLength = named(new QSpinBox(this), "spnLength", tr("Frames"));
    spnLength->setRange(1, 1000000000);
    spnLength->setValue(100);
    lblMemory = named(new QLabel(tr("&Memory (MB)"), this), "lblMemory", {});
    spnMemory = named(new QSpinBox(this), "spnMemory", tr("Memory (MB)"));
    spnMemory->setRange(1, 1024 * 1024);
    spnMemory->setValue(int(std::clamp<std::size_t>(QynRecordSettings::defaultMemoryBytes() / MiB, 1, 1024 * 1024)));
    spnMemory->setToolTip(tr("Frames wait here while the disk is busy; when it is full, frames are counted as lost"));
    lblMemory->setBuddy(spnMemory);
    cmdRecord = named(new QPushButton(tr("&Record"), this), "cmdRecord", tr("Record"));
    lblStatus = named(new QLabel(this), "lblStatus", tr("Recording status"));
    lblStatus->setWordWrap(true);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    cmdClose = named(new QPushButton(tr("&Close"), this), "cmdClose", tr("Close"));

    auto* grid = new QGridLayout;
    grid->addWidget(lblFolder, 0, 0);
    grid->addWidget(txtFolder, 0, 1);
    grid->addWidget(cmdBrowse, 0, 2);
    grid->addWidget(lblFormat, 1, 0);
    grid->addWidget(cmbFormat, 1, 1, 1, 2);
    grid->addWidget(lblLength, 2, 0);
    grid->addWidget(cmbLength, 2, 1);
    grid->addWidget(spnLength, 2, 2);
    grid->addWidget(lblMemory, 3, 0);
    grid->addWidget(spnMemory, 3, 1);
    grid->setColumnStretch(1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdRecord);
    bottom->addStretch();
    bottom->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(lblStatus, 1);
    layout->addLayout(bottom);
    QWidget* const order[] = {txtFolder, cmdBrowse, cmbFormat, cmbLength, spnLength, spnMemory, cmdRecord, lblStatus, cmdClose};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    resize(460, 260);

    connect(cmdRecord, &QPushButton::clicked, this, &RecordWindow::cmdRecord_Click);
    connect(cmdBrowse, &QPushButton::clicked, this, &RecordWindow::cmdBrowse_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cmbLength, &QComboBox::currentIndexChanged, this, &RecordWindow::cmbLength_Changed);
    connect(timer_, &QTimer::timeout, this, &RecordWindow::showProgress);
    timer_->setInterval(StatusMs);
    setSource(nullptr, tr("no camera is open"));
}

RecordWindow::~RecordWindow()
{
    stopRecording();
}

void RecordWindow::setSource(QynFrameListeners* listeners, const QString& why)
{
    if (listeners != listeners_)
        stopRecording();
    listeners_ = listeners;
    why_ = why;
    if (!listeners_ && !recording())
        lblStatus->setText(why.left(1).toUpper() + why.mid(1) + QLatin1Char('.'));
    else if (!recording() && lblStatus->text().isEmpty())
        lblStatus->clear();
    enableSettings();
}

bool RecordWindow::recording() const
{
    return recording_ && recording_->running();
}

void RecordWindow::enableSettings()
{
    const bool idle = !recording();
    for (QWidget* w : std::initializer_list<QWidget*>{txtFolder, cmdBrowse, cmbFormat, cmbLength, spnLength, spnMemory})
        w->setEnabled(idle);
    spnLength->setEnabled(idle && cmbLength->currentData().toInt() != UntilStopped);
    cmdRecord->setEnabled(listeners_ != nullptr || !idle);
    cmdRecord->setText(idle ? tr("&Record") : tr("&Stop"));
    cmdRecord->setAccessibleName(idle ? tr("Record") : tr("Stop recording"));
}

void RecordWindow::cmbLength_Changed()
{
    const int length = cmbLength->currentData().toInt();
    spnLength->setAccessibleName(length == Seconds ? tr("Seconds") : tr("Frames"));
    enableSettings();
}

void RecordWindow::cmdBrowse_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Record into"), txtFolder->text());
    if (!folder.isEmpty())
        txtFolder->setText(QDir::toNativeSeparators(folder));
}

void RecordWindow::cmdRecord_Click()
{
    if (recording())
        stopRecording();
    else
        startRecording();
}

bool RecordWindow::startRecording()
{
    if (recording())
        return true;
    if (!listeners_) {
        lblStatus->setText(tr("Not recording: %1.").arg(why_));
        return false;
    }
    QynRecordSettings settings;
    settings.folder = QDir::fromNativeSeparators(txtFolder->text().trimmed());
    settings.format = QynRecordSettings::Format(cmbFormat->currentData().toInt());
    settings.memoryBytes = std::size_t(spnMemory->value()) * MiB;
    std::optional<double> seconds;
    switch (cmbLength->currentData().toInt()) {
    case Frames: settings.frameLimit = std::uint64_t(spnLength->value()); break;
    case Seconds: seconds = spnLength->value(); break;
    default: break;
    }
    if (settings.folder.isEmpty()) {
        lblStatus->setText(tr("Not recording: no folder is given."));
        return false;
    }
    recording_ = std::make_unique<QynVideoRecording>(*listeners_, settings, seconds);
    if (const QString problem = recording_->start(); !problem.isEmpty()) {
        recording_.reset();
        lblStatus->setText(tr("Not recording: %1.").arg(problem));
        return false;
    }
    signals_ = new StopSignals(this);
    connect(signals_, &StopSignals::received, this, [this](int signal) {
        stopRecording();
        emit stopSignalled(signal);
    }, Qt::QueuedConnection);
    timer_->start();
    enableSettings();
    showProgress();
    return true;
}

void RecordWindow::showProgress()
{
    if (!recording_)
        return;
    if (recording_->finished()) {
        stopRecording();
        return;
    }
    const QynRecordStatus now = recording_->status();
    lblStatus->setText(tr("Recording: %1 frames recorded, %2 lost (%3 for want of memory), memory %4 % full, "
                          "disk %5 MB/s")
                           .arg(now.recorded)
                           .arg(now.lost)
                           .arg(now.lostFull)
                           .arg(qRound(100 * now.ringFill()))
                           .arg(megabytes(now.bytesPerSecond())));
}

void RecordWindow::stopRecording()
{
    if (!recording_)
        return;
    timer_->stop();
    const QString failure = recording_->stop();  // the frames in memory are written here
    const QynRecordStatus last = recording_->status();
    const QString folder = QDir::toNativeSeparators(recording_->settings().folder);
    recording_.reset();
    delete signals_;  // the signals' handlers before it come back (it calls this only by a queued call)
    signals_ = nullptr;
    QString summary = tr("Recorded %1 frames, %2 lost (%3 for want of memory), in %4 s at %5 MB/s into %6 "
                         "(frames.csv lists them)")
                          .arg(last.recorded)
                          .arg(last.lost)
                          .arg(last.lostFull)
                          .arg(last.seconds, 0, 'f', 1)
                          .arg(megabytes(last.bytesPerSecond()), folder);
    if (!failure.isEmpty())
        summary = tr("The recording stopped: %1. %2").arg(failure, summary);
    lblStatus->setText(summary);
    enableSettings();
}

QString RecordWindow::statusText() const
{
    return lblStatus->text();
}

void RecordWindow::closeEvent(QCloseEvent* event)
{
    stopRecording();
    QWidget::closeEvent(event);
}

void RecordWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Cancel))
        close();
    else
        QWidget::keyPressEvent(event);
}
