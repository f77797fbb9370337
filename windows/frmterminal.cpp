#include "windows/frmterminal.h"
#include "ui_frmterminal.h"

#include "core/operationerror.h"
#include "core/report.h"
#include "windows/frmproperties.h"

#include <QCloseEvent>
#include <QIcon>

frmterminal::frmterminal(SettingsStore &store, KeyInjector &keys, QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::frmterminal>())
    , m_store(store)
    , m_bridge(store, keys)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/icons/bexlow.png")));

    connect(m_ui->Command1, &QPushButton::clicked, this, [this] {
        try {
            Command1_Click();
        } catch (const OperationError &error) {
            Report::failure(error);
        }
    });
}

frmterminal::~frmterminal() = default;

void frmterminal::Form_Load(const QString &argumentText)
{
    m_bridge.start(argumentText);
}

void frmterminal::Command1_Click()
{
    if (!m_properties)
        m_properties = std::make_unique<frmProperties>(*this, m_store);
    m_properties->show();
}

void frmterminal::closeEvent(QCloseEvent *event)
{
    // The dialog goes with the main window, applying nothing.
    if (m_properties)
        m_properties->unload();
    QWidget::closeEvent(event);
}
