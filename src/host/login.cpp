#include "host/login.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QThread>
#include <QVBoxLayout>

namespace bco::host {

LoginDialog::LoginDialog(QString serverHost, int serverPort, const QString &operatorCode, QWidget *parent)
    : QDialog(parent)
    , serverHost_(std::move(serverHost))
    , serverPort_(serverPort)
    , operator_(new QLineEdit(operatorCode, this))
    , password_(new QLineEdit(this))
    , message_(new QLabel(this)) {
    setObjectName(QStringLiteral("dlgLogin"));
    setWindowTitle(QStringLiteral("Entrar no sistema"));
    operator_->setObjectName(QStringLiteral("edtOperador"));
    operator_->setMaxLength(10);
    password_->setObjectName(QStringLiteral("edtSenha"));
    password_->setEchoMode(QLineEdit::Password);
    message_->setObjectName(QStringLiteral("lblMensagem"));
    message_->setWordWrap(true);
    QPalette warning = message_->palette();
    warning.setColor(QPalette::WindowText, Qt::darkRed);
    message_->setPalette(warning);

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("&Operador"), operator_);
    fields->addRow(QStringLiteral("&Senha"), password_);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *enterButton = buttons->addButton(QStringLiteral("Entrar"), QDialogButtonBox::AcceptRole);
    enterButton->setDefault(true);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::enter);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Servidor %1:%2").arg(serverHost_).arg(serverPort_), this));
    layout->addLayout(fields);
    layout->addWidget(message_);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    (operatorCode.isEmpty() ? operator_ : password_)->setFocus();
}

QString LoginDialog::operatorCode() const {
    return operator_->text().trimmed().toUpper();
}

QString LoginDialog::message() const {
    return message_->text();
}

void LoginDialog::setMessage(const QString &message) {
    message_->setText(message);
}

void LoginDialog::enter() {
    const LoginOutcome outcome =
        logIn(serverHost_, serverPort_, operator_->text(), password_->text(), security_);
    if (!outcome.ok()) {
        message_->setText(outcome.message);
        password_->selectAll();
        password_->setFocus();
        return;
    }
    token_ = outcome.token;
    message_->clear();
    // The window lives as long as the host: the password has no business staying in it.
    password_->clear();
    accept();
}

QString renewSession(LoginContext &context, const QString &refusedToken) {
    if (context.sessionToken != refusedToken)
        return context.sessionToken;
    // A call made while the window is open (from its event loop) does not open a second one.
    static bool asking = false;
    if (asking || QThread::currentThread() != QCoreApplication::instance()->thread())
        return {};
    const QScopedValueRollback<bool> askingNow(asking, true);
    LoginDialog dialog(context.serverHost, context.serverPort, context.operatorCode,
                       QApplication::activeWindow());
    dialog.setSecurity(context.serverSecurity);
    // The forms go on as this operator: only the password is asked.
    dialog.operatorEdit()->setReadOnly(true);
    dialog.setMessage(
        QStringLiteral("A sessão de %1 no servidor de aplicação terminou (expirou ou foi encerrada). "
                       "Informe a senha para continuar de onde parou.")
            .arg(context.operatorCode));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    context.sessionToken = dialog.token();
    return context.sessionToken;
}

} // namespace bco::host
