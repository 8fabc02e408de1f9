#include "ui/TimestampTab.h"

#include "imaging/StampFont.h"
#include "settings/AccountBook.h"
#include "ui/SettingsDialogs.h"
#include "ui/StampPreview.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using WindowParts::label;
using WindowParts::named;

TimestampTab::TimestampTab(AccountBook& book, SettingsDialogs& dialogs, QWidget* parent)
    : AccountTab(book, QStringLiteral("frametimestamp"), parent), m_dialogs(dialogs)
{
    m_timestamp = named(new QCheckBox(QStringLiteral("Add timestamp to picture")), QStringLiteral("Check1"));
    m_textTime =
        named(new QCheckBox(QStringLiteral("Upload textfile with time")), QStringLiteral("chkTxtTime"));
    m_preview = named(new StampPreview, QStringLiteral("picUnder"));
    m_font = named(new QPushButton(QStringLiteral("&Font")), QStringLiteral("Command3"));
    m_backColor = named(new QPushButton(QStringLiteral("&Background color")), QStringLiteral("Command4"));
    m_foreColor = named(new QPushButton(QStringLiteral("&Text color")), QStringLiteral("Command5"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_font);
    buttons->addWidget(m_backColor);
    buttons->addWidget(m_foreColor);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_timestamp);
    layout->addWidget(m_textTime);
    layout->addWidget(label(QStringLiteral("Label7"), QStringLiteral("Preview:")));
    layout->addWidget(m_preview);
    layout->addLayout(buttons);
    layout->addStretch();

    AccountBook& b = m_book;
    onEdit(m_timestamp, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::timestamp, on); });
    onEdit(m_textTime, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::textTime, on); });
    connect(m_font, &QPushButton::clicked, this, &TimestampTab::chooseFont);
    connect(m_backColor, &QPushButton::clicked, this, &TimestampTab::chooseBackColor);
    connect(m_foreColor, &QPushButton::clicked, this, &TimestampTab::chooseForeColor);
}

void TimestampTab::showAccount(const Account& a)
{
    m_timestamp->setChecked(a.timestamp);
    m_textTime->setChecked(a.textTime);
    m_preview->setStyle(a.backQColor(), a.foreQColor(), stampFont(a));
    m_preview->redraw();
}

void TimestampTab::chooseFont()
{
    // The dialog opens on the stored style; a family that is not installed shows as the family
    // that stands in for it, which the dialog can select.
    const Account& a = m_book.loaded();
    QFont shown = stampFont(a);
    shown.setFamily(QFontInfo(shown).family());
    const std::optional<QFont> chosen = m_dialogs.chooseFont(shown, this);
    if (!chosen)
        return;
    // Only what the person changed replaces the stored style. The dialog offers whole point
    // sizes, so a stored 13.5 shows as 14 and stays 13.5 unless another size is chosen.
    const bool sizeChanged = chosen->pointSizeF() > 0 && chosen->pointSize() != shown.pointSize();
    m_book.setFont(chosen->bold() != shown.bold() ? chosen->bold() : a.fontBold,
                   chosen->italic() != shown.italic() ? chosen->italic() : a.fontItalic,
                   chosen->family() != shown.family() ? chosen->family() : a.fontName,
                   sizeChanged ? chosen->pointSizeF() : a.fontSize);
}

void TimestampTab::chooseBackColor()
{
    if (const std::optional<QColor> color = m_dialogs.chooseColor(m_book.loaded().backQColor(), this))
        m_book.set(&Account::backColor, storedFromColor(*color));
}

void TimestampTab::chooseForeColor()
{
    if (const std::optional<QColor> color = m_dialogs.chooseColor(m_book.loaded().foreQColor(), this))
        m_book.set(&Account::foreColor, storedFromColor(*color));
}
