#include "CameraWindow.h"

#include "CameraValueDelegate.h"
#include "QynCameraControlModel.h"
#include "QynCameraControls.h"
#include "QynVideoConfigWriter.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr const char* TriggerCommand = "TriggerSoftware";

QTreeView* makeView(QWidget* parent, const char* objectName, const QString& accessibleName, QAbstractItemModel* model)
{
    auto* view = new QTreeView(parent);
    view->setObjectName(QString::fromLatin1(objectName));
    view->setAccessibleName(accessibleName);
    view->setModel(model);
    view->setItemDelegateForColumn(QynCameraControlModel::ValueColumn, new CameraValueDelegate(view));
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::SelectedClicked);
    view->setAllColumnsShowFocus(true);
    view->header()->setSectionResizeMode(QynCameraControlModel::NameColumn, QHeaderView::ResizeToContents);
    // The keyboard works on the value: F2 edits it, Space toggles it.
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, view, [view](const QModelIndex& current) {
        if (current.column() != QynCameraControlModel::ValueColumn)
            view->setCurrentIndex(current.siblingAtColumn(QynCameraControlModel::ValueColumn));
    });
    return view;
}

// The rows a view shows now, so that a refresh reads no more than what is seen.
QModelIndexList shownRows(QTreeView* view)
{
    QModelIndexList rows;
    if (!view->isVisible())
        return rows;
    const int bottom = view->viewport()->height();
    for (QModelIndex i = view->indexAt(QPoint(1, 1)); i.isValid() && view->visualRect(i).top() < bottom;
         i = view->indexBelow(i))
        rows << i;
    return rows;
}

}  // namespace

CameraWindow::CameraWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), model_(new QynCameraControlModel(this)), timer_(new QTimer(this))
{
    setObjectName(QStringLiteral("frmCamera"));
    setAccessibleName(tr("Camera"));
    setWindowTitle(tr("Camera"));

    lblDevice = new QLabel(this);
    lblDevice->setObjectName(QStringLiteral("lblDevice"));
    lblDevice->setWordWrap(true);
    lblMain = new QLabel(tr("&Main settings"), this);
    lblMain->setObjectName(QStringLiteral("lblMain"));
    tvwMain = makeView(this, "tvwMain", tr("Main settings"), model_);
    tvwMain->setRootIsDecorated(false);  // a flat list
    lblMain->setBuddy(tvwMain);
    cmdTrigger = new QPushButton(tr("Software &trigger"), this);
    cmdTrigger->setObjectName(QStringLiteral("cmdTrigger"));
    cmdTrigger->setAccessibleName(tr("Software trigger"));
    cmdSave = new QPushButton(tr("Sa&ve settings..."), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setAccessibleName(tr("Save settings"));
    lblAll = new QLabel(tr("&All features"), this);
    lblAll->setObjectName(QStringLiteral("lblAll"));
    tvwFeatures = makeView(this, "tvwFeatures", tr("All features"), model_);
    lblAll->setBuddy(tvwFeatures);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setAccessibleName(tr("Camera status"));
    lblStatus->setWordWrap(true);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    cmdClose = new QPushButton(tr("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setAccessibleName(tr("Close"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdTrigger);
    buttons->addWidget(cmdSave);
    buttons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus, 1);
    bottom->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblDevice);
    layout->addWidget(lblMain);
    layout->addWidget(tvwMain, 2);
    layout->addLayout(buttons);
    layout->addWidget(lblAll);
    layout->addWidget(tvwFeatures, 3);
    layout->addLayout(bottom);
    setTabOrder(tvwMain, cmdTrigger);
    setTabOrder(cmdTrigger, cmdSave);
    setTabOrder(cmdSave, tvwFeatures);
    setTabOrder(tvwFeatures, lblStatus);
    setTabOrder(lblStatus, cmdClose);
    resize(560, 640);

    connect(cmdTrigger, &QPushButton::clicked, this, &CameraWindow::cmdTrigger_Click);
    connect(cmdSave, &QPushButton::clicked, this, &CameraWindow::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    for (QTreeView* view : {tvwMain, tvwFeatures})
        connect(view, &QTreeView::activated, this, [this, view](const QModelIndex& index) { activate(view, index); });
    connect(model_, &QynCameraControlModel::problem, this, &CameraWindow::showStatus);
    connect(model_, &QynCameraControlModel::stopNeeded, this, [this](const QString& name, const QString& value) {
        showStatus(tr("%1 = %2 needs the stream stopped; it restarts with it").arg(name, value));
        emit stopNeeded(name, value);
    });
    connect(timer_, &QTimer::timeout, this, &CameraWindow::refreshShown);
    timer_->setInterval(RefreshMs);
    setCamera(nullptr, tr("no camera is open"), {}, {});
}

void CameraWindow::setCamera(QynCameraControls* controls, const QString& why, const QString& configPath,
                             const QString& source)
{
    configPath_ = configPath;
    source_ = source;
    model_->setControls(controls, why);
    const bool any = controls != nullptr;
    setWindowTitle(any ? tr("Camera - %1").arg(controls->deviceName()) : tr("Camera"));
    lblDevice->setText(any ? controls->deviceName() : why.left(1).toUpper() + why.mid(1) + QLatin1Char('.'));
    for (QWidget* w : std::initializer_list<QWidget*>{lblMain, tvwMain, cmdSave, lblAll, tvwFeatures})
        w->setVisible(any);
    cmdTrigger->setVisible(any && model_->find(QString::fromLatin1(TriggerCommand)).isValid());
    if (any) {
        tvwMain->setRootIndex(model_->mainSettingsIndex());
        tvwFeatures->setRowHidden(model_->mainSettingsIndex().row(), {}, true);
        tvwMain->setCurrentIndex(model_->index(0, QynCameraControlModel::ValueColumn, model_->mainSettingsIndex()));
    }
    lblStatus->clear();
}

QString CameraWindow::statusText() const
{
    return lblStatus->text();
}

void CameraWindow::showStatus(const QString& text)
{
    lblStatus->setText(text);
}

void CameraWindow::activate(QTreeView* view, const QModelIndex& index)
{
    const QModelIndex value = index.siblingAtColumn(QynCameraControlModel::ValueColumn);
    if (model_->control(value).type == QynCameraControl::Type::Command) {
        if (model_->execute(value))
            showStatus(tr("%1 done").arg(model_->control(value).displayName));
    } else if (model_->flags(value) & Qt::ItemIsEditable) {
        view->setCurrentIndex(value);
        view->edit(value);
    }
}

void CameraWindow::cmdTrigger_Click()
{
    const QModelIndex trigger = model_->find(QString::fromLatin1(TriggerCommand));
    if (model_->execute(trigger))
        showStatus(tr("Software trigger sent"));
}

bool CameraWindow::saveTo(const QString& path)
{
    QynCameraControls* controls = model_->controls();
    if (!controls)
        return false;
    QString problem;
    const QString source = controls->sourceWith(source_, {}, &problem);
    const qyn::VideoConfigSave saved =
        source.isEmpty() ? qyn::VideoConfigSave{problem} : qyn::saveVideoConfigCopy(configPath_, source, path);
    showStatus(saved.ok() ? tr("Settings saved in %1").arg(path) : tr("Not saved: %1").arg(saved.problem));
    return saved.ok();
}

void CameraWindow::cmdSave_Click()
{
    const QFileInfo current(configPath_);
    const QString suggested = current.dir().filePath(current.completeBaseName() + QStringLiteral("-set.ini"));
    const QString path = QFileDialog::getSaveFileName(this, tr("Save camera settings"), suggested,
                                                      tr("Video configurations (*.ini)"));
    if (!path.isEmpty())
        saveTo(path);
}

void CameraWindow::refreshShown()
{
    // A refresh while a value is edited would reset its editor under the operator's hands.
    for (QTreeView* view : {tvwMain, tvwFeatures})
        if (view->indexWidget(view->currentIndex()))
            return;
    model_->refresh(shownRows(tvwMain) + shownRows(tvwFeatures));
}

void CameraWindow::showEvent(QShowEvent* event)
{
    timer_->start();
    QWidget::showEvent(event);
}

// Escape closes the window; an open editor takes its own Escape first, which drops it.
void CameraWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Cancel))
        close();
    else
        QWidget::keyPressEvent(event);
}

void CameraWindow::hideEvent(QHideEvent* event)
{
    timer_->stop();
    QWidget::hideEvent(event);
}
