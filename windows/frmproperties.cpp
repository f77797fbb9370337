#include "windows/frmproperties.h"
#include "ui_frmproperties.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "serial/lineconfig.h"
#include "serial/mscomm.h"
#include "settings/linesettings.h"
#include "store/settingslayout.h"
#include "store/settingsstore.h"
#include "windows/framemargins.h"
#include "windows/frmterminal.h"
#include "windows/pendingfailure.h"
#include "windows/twips.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>
#include <optional>

namespace {

constexpr int PortEntries = 16;

// The dialog's window. It has no cancel button: Escape does nothing.
class PropertiesWindow final : public QDialog
{
public:
    using QDialog::QDialog;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }
};

// Tab enters an option group at its selected option, as users of other
// desktops expect; Qt would otherwise enter it at the group's first option.
void makeTabStop(QButtonGroup &group, QAbstractButton &selected)
{
    for (QAbstractButton *option : group.buttons())
        option->setFocusPolicy(option == &selected ? Qt::StrongFocus : Qt::ClickFocus);
}

void selectText(QComboBox &list, const QString &text)
{
    list.setCurrentIndex(list.findText(text));
}

// A position outside the list leaves it without a selection.
void selectIndex(QComboBox &list, int index)
{
    list.setCurrentIndex(index >= 0 && index < list.count() ? index : -1);
}

} // namespace

frmProperties::frmProperties(frmterminal &mainWindow, SettingsStore &store, QObject *parent)
    : QObject(parent)
    , m_mainWindow(mainWindow)
    , m_store(store)
{}

frmProperties::~frmProperties()
{
    delete m_window;
}

void frmProperties::show()
{
    if (!isLoaded()) {
        createWindow();
        try {
            Form_Load();
        } catch (...) {
            unload();
            throw;
        }
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void frmProperties::createWindow()
{
    auto *window = new PropertiesWindow; // no owner
    m_ui = std::make_unique<Ui::frmProperties>();
    m_ui->setupUi(window);
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint);
    m_window = window;

    const QList<QRadioButton *> flowOptions{m_ui->optFlow_0, m_ui->optFlow_1, m_ui->optFlow_2, m_ui->optFlow_3};
    for (int index = 0; index < flowOptions.size(); ++index)
        m_ui->optFlow->setId(flowOptions[index], index);
    m_ui->optEcho->setId(m_ui->optEcho_0, 0);
    m_ui->optEcho->setId(m_ui->optEcho_1, 1);

    connect(m_ui->optFlow, &QButtonGroup::idToggled, this, [this](int index, bool checked) {
        if (checked)
            optFlow_Click(index);
    });
    connect(m_ui->optEcho, &QButtonGroup::idToggled, this, [this](int index, bool checked) {
        if (checked)
            optEcho_Click(index);
    });
    for (QButtonGroup *group : {m_ui->optFlow, m_ui->optEcho}) {
        connect(group, &QButtonGroup::buttonToggled, this, [group](QAbstractButton *option, bool checked) {
            if (checked)
                makeTabStop(*group, *option);
        });
    }
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmProperties::cmdOK_Click);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &frmProperties::cmdCancel_Click);
    // Closing the window by its title bar.
    connect(window, &QDialog::finished, this, &frmProperties::unload);
}

void frmProperties::unload()
{
    if (!m_window)
        return;
    QDialog *window = m_window;
    m_window = nullptr;
    m_ui.reset();
    window->hide();
    // Later: this may run inside one of the window's own handlers.
    window->deleteLater();
}

void frmProperties::Form_Load()
{
    QDialog &window = *m_window;
    window.ensurePolished();

    // Centred by its outer size, frame and title bar included. Before the
    // first show the toolkit knows only the client area, so the frame is
    // asked of the window manager; the window is then placed by its client
    // area, which sits inside the frame at the frame's left and top sides.
    const QMargins frame = expectedFrameMargins(window);
    const QSize outer = window.size().grownBy(frame);
    const QSize screen = window.screen()->size();
    const float left = Twips::centred(Twips::fromPixels(screen.width()), Twips::fromPixels(outer.width()));
    const float top = Twips::centred(Twips::fromPixels(screen.height()), Twips::fromPixels(outer.height()));
    window.move(Twips::toPixels(left) + frame.left(), Twips::toPixels(top) + frame.top());

    TabStrip &tabStrip = *m_ui->tabSettings;
    const QPoint displayArea = tabStrip.mapTo(&window, tabStrip.displayArea().topLeft());
    m_ui->fraSettings->move(displayArea);
    m_ui->fraSettings->raise();
    tabStrip.setFocus();

    LoadPropertySettings();
}

void frmProperties::fillLists()
{
    for (int port = 1; port <= PortEntries; ++port)
        m_ui->cboPort->addItem(QStringLiteral("Com%1").arg(port));
    m_ui->cboSpeed->addItems({
        QStringLiteral("110"),
        QStringLiteral("300"),
        QStringLiteral("600"),
        QStringLiteral("1200"),
        QStringLiteral("2400"),
        QStringLiteral("4800"),
        QStringLiteral("9600"),
        QStringLiteral("14400"),
        QStringLiteral("19200"),
        QStringLiteral("28800"),
        QStringLiteral("38400"),
        QStringLiteral("56000"),
        QStringLiteral("57600"),
        QStringLiteral("115200"),
        QStringLiteral("128000"),
        QStringLiteral("256000"),
    });
    m_ui->cboDataBits->addItems(
        {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")});
    // Each entry holds its parity's letter.
    for (const auto &[name, parity] :
         {std::pair{"Even", Parity::Even}, std::pair{"Odd", Parity::Odd}, std::pair{"None", Parity::None},
          std::pair{"Mark", Parity::Mark}, std::pair{"Space", Parity::Space}})
        m_ui->cboParity->addItem(QString::fromLatin1(name), QString(parityLetter(parity)));
    m_ui->cboStopBits->addItems({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});

    // A list selects its first entry when it gets one; these start without a selection.
    for (QComboBox *list : {m_ui->cboPort, m_ui->cboSpeed, m_ui->cboDataBits, m_ui->cboParity, m_ui->cboStopBits})
        list->setCurrentIndex(-1);
}

void frmProperties::LoadPropertySettings()
{
    fillLists();

    const MSComm &comm = m_mainWindow.MSComm1();
    // A value that is not an entry of its list leaves that list without a
    // selection; the rest still loads.
    if (const std::optional<LineSettings::Fields> fields = LineSettings::parseByPosition(comm.Settings())) {
        selectText(*m_ui->cboSpeed, fields->speed);
        selectIndex(*m_ui->cboParity, m_ui->cboParity->findData(fields->parity)); // case as given
        selectText(*m_ui->cboDataBits, fields->dataBits);
        selectText(*m_ui->cboStopBits, fields->stopBits);
    }
    selectIndex(*m_ui->cboPort, comm.CommPort() - 1);
    if (QAbstractButton *flow = m_ui->optFlow->button(short(comm.Handshaking())))
        flow->setChecked(true);
    m_ui->optEcho_0->setChecked(true);
}

void frmProperties::optFlow_Click(int index)
{
    m_pendingFlowChoice = short(index);
}

void frmProperties::optEcho_Click(int index)
{
    m_pendingEchoFlag = index == 1;
}

void frmProperties::showFailure(const QString &description)
{
    QMessageBox::warning(m_window, QGuiApplication::applicationDisplayName(), description);
}

void frmProperties::cmdOK_Click()
{
    MSComm &comm = m_mainWindow.MSComm1();
    PendingFailure failure;
    const bool echo = m_pendingEchoFlag;

    if (!applyPortNumber(comm, failure))
        return;

    failure.attempt([&] { comm.setSettings(chosenLineSettings(comm)); });
    if (failure) {
        showFailure(failure.description());
        return;
    }

    failure.attempt([&] { comm.setHandshaking(int(m_pendingFlowChoice)); });
    if (failure) {
        showFailure(failure.description());
        return;
    }

    saveApplied(comm, echo);
    unload();
}

bool frmProperties::applyPortNumber(MSComm &comm, PendingFailure &failure)
{
    short oldPort = 0;
    failure.attempt([&] { oldPort = comm.CommPort(); });
    // A list left without a selection (the component's value is not among its
    // entries, such as a port above 16) keeps that value.
    const int chosen = m_ui->cboPort->currentIndex();
    const short newPort = chosen >= 0 ? short(chosen + 1) : oldPort;
    if (oldPort == newPort)
        return true;

    bool reopen = false;
    bool open = true; // a check that cannot be made counts as passed
    failure.attempt([&] { open = comm.PortOpen(); });
    if (open) {
        failure.attempt([&] { comm.setPortOpen(false); });
        reopen = true;
    }
    failure.attempt([&] { comm.setCommPort(newPort); });
    if (!failure && reopen)
        failure.attempt([&] { comm.setPortOpen(true); });
    if (failure) {
        // Only the number is rolled back: a port that was open stays closed.
        showFailure(failure.description());
        failure.attempt([&] { comm.setCommPort(oldPort); });
        return false;
    }
    return true;
}

QString frmProperties::chosenLineSettings(const MSComm &comm) const
{
    // A list left without a selection (a speed of 1234, say) keeps the value
    // the component has.
    const LineSettings::Fields present =
        LineSettings::parseByPosition(comm.Settings()).value_or(LineSettings::Fields{});
    const auto chosen = [](const QComboBox &list, const QString &presentValue) {
        return list.currentIndex() >= 0 ? list.currentText() : presentValue;
    };
    return LineSettings::compose(chosen(*m_ui->cboSpeed, present.speed), chosen(*m_ui->cboParity, present.parity),
                                 chosen(*m_ui->cboDataBits, present.dataBits),
                                 chosen(*m_ui->cboStopBits, present.stopBits));
}

void frmProperties::saveApplied(const MSComm &comm, bool echo)
{
    // What the component holds now is saved. A failed save does not stop the
    // others nor the closing; it is only noted on stderr.
    using namespace SettingsLayout;
    const auto save = [this](const QString &key, auto &&value) {
        try {
            m_store.save(ApplicationTitle, Section, key, value());
        } catch (const OperationError &error) {
            Report::line(QStringLiteral("%1 was not saved: %2").arg(key, error.toString()));
        }
    };
    save(SettingsKey, [&] { return comm.Settings(); });
    save(CommPortKey, [&] { return QString::number(comm.CommPort()); });
    save(HandshakingKey, [&] { return QString::number(comm.Handshaking()); });
    save(EchoKey, [&] { return echo ? QStringLiteral("True") : QStringLiteral("False"); });
}

void frmProperties::cmdCancel_Click()
{
    unload();
}
