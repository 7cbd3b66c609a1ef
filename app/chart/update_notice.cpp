#include "app/chart/update_notice.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

UpdateNotice::Content UpdateNotice::content(const UpdateOffer *offer)
{
    if (!offer)
        return {};
    if (offer->isInstalling())
        return {Kind::installing, offer->installingText()};
    if (offer->isRestartPending())
        return {Kind::restart, QStringLiteral("Restart to Finish Updating")};
    if (const std::optional<QString> version = offer->offeredVersion())
        return {Kind::offer, QStringLiteral("Update to ") + *version + QStringLiteral("…")};
    return {};
}

UpdateNotice::UpdateNotice(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_installing = new QLabel(this);
    QFont caption = m_installing->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_installing->setFont(caption);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_offer)
            m_offer->cancelInstall();
    });
    m_update = new QPushButton(this);
    connect(m_update, &QPushButton::clicked, this, [this] {
        if (m_offer)
            m_offer->install();
    });
    layout->addWidget(m_installing);
    layout->addWidget(m_cancel);
    layout->addWidget(m_update);
    refresh();
}

void UpdateNotice::setOffer(UpdateOffer *offer)
{
    if (m_offer)
        disconnect(m_offer, nullptr, this, nullptr);
    m_offer = offer;
    if (offer)
        connect(offer, &UpdateOffer::changed, this, &UpdateNotice::refresh);
    refresh();
}

void UpdateNotice::refresh()
{
    const Content shown = content(m_offer);
    m_installing->setText(shown.text);
    m_installing->setVisible(shown.kind == Kind::installing);
    m_cancel->setVisible(shown.kind == Kind::installing && m_offer->canCancelInstall());
    m_update->setText(shown.text);
    m_update->setVisible(shown.kind == Kind::offer || shown.kind == Kind::restart);
}
