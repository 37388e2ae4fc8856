#include "WelcomeScreen.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kPrimaryButtonStyle = QStringLiteral(
    "QPushButton {  background-color: %1;  color: white;  border: none;  border-radius: 4px;  padding: 6px 16px;  "
    "font-weight: 600;  min-width: 80px;}QPushButton:hover { background-color: #1976D2; }QPushButton:pressed { "
    "background-color: #0D47A1; }");

} // namespace

WelcomeScreen::WelcomeScreen(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("welcomePage"));

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("welcomeIcon"));
    m_icon->setAlignment(Qt::AlignCenter);
    QIcon icon(QStringLiteral(":/icons/app-icon.png"));
    if (icon.isNull())
        icon = QApplication::windowIcon();
    m_icon->setPixmap(icon.pixmap(96, 96));

    auto* name = new QLabel(QStringLiteral("Norvane Notes"), this);
    name->setObjectName(QStringLiteral("welcomeName"));
    name->setAlignment(Qt::AlignCenter);
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 2.0);
    nameFont.setWeight(QFont::DemiBold);
    name->setFont(nameFont);

    auto* tagline = new QLabel(QStringLiteral("Capture as fast as paper.\nFind it faster."), this);
    tagline->setObjectName(QStringLiteral("welcomeTagline"));
    tagline->setAlignment(Qt::AlignCenter);
    QFont taglineFont = tagline->font();
    taglineFont.setPointSizeF(taglineFont.pointSizeF() * 1.25);
    tagline->setFont(taglineFont);
    tagline->setForegroundRole(QPalette::PlaceholderText);

    m_continue = new QPushButton(QStringLiteral("Continue Without an Account"), this);
    m_continue->setObjectName(QStringLiteral("continueButton"));
    m_continue->setMinimumHeight(36);
    m_continue->setCursor(Qt::PointingHandCursor);
    m_continue->setStyleSheet(kPrimaryButtonStyle.arg(QStringLiteral("#1565C0")));
    connect(m_continue, &QPushButton::clicked, this, &WelcomeScreen::dismissRequested);

    m_account = new QPushButton(this);
    m_account->setObjectName(QStringLiteral("accountButton"));
    m_account->setFlat(true);
    m_account->setCursor(Qt::PointingHandCursor);
    connect(m_account, &QPushButton::clicked, this, [this] {
        if (m_signedIn)
            emit signOutRequested();
        else
            emit signInRequested();
    });
    m_waitingLabel = new QLabel(QStringLiteral("Finish signing in in your browser…"), this);
    m_waitingLabel->setObjectName(QStringLiteral("signInWaitingLabel"));
    m_waitingLabel->setAlignment(Qt::AlignCenter);
    m_waitingLabel->setForegroundRole(QPalette::PlaceholderText);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelSignInButton"));
    m_cancel->setCursor(Qt::PointingHandCursor);
    connect(m_cancel, &QPushButton::clicked, this, &WelcomeScreen::cancelSignInRequested);
    setSignedIn(false);
    setWaiting(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 32, 32, 32);
    layout->setSpacing(12);
    layout->addStretch(2);
    layout->addWidget(m_icon);
    layout->addWidget(name);
    layout->addWidget(tagline);
    layout->addSpacing(20);
    layout->addWidget(m_continue, 0, Qt::AlignHCenter);
    layout->addWidget(m_account, 0, Qt::AlignHCenter);
    layout->addWidget(m_waitingLabel);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    layout->addStretch(3);
}

void WelcomeScreen::setSignedIn(bool signedIn)
{
    m_signedIn = signedIn;
    m_account->setText(signedIn ? QStringLiteral("Sign Out") : QStringLiteral("Already have an account? Sign In"));
}

void WelcomeScreen::setWaiting(bool waiting)
{
    m_waiting = waiting;
    m_account->setVisible(!waiting);
    m_waitingLabel->setVisible(waiting);
    m_cancel->setVisible(waiting);
}
