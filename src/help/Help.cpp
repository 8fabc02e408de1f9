#include "help/Help.h"

#include "help/HelpTopics.h"
#include "help/HelpWindow.h"

Help::Help(QString programFolder, QObject* parent)
    : QObject(parent), m_programFolder(std::move(programFolder))
{
}

Help::~Help() = default;

HelpWindow& Help::ensureWindow()
{
    if (!m_window)
        m_window = std::make_unique<HelpWindow>(m_programFolder);
    return *m_window;
}

void Help::showPage(const QString& nodeKey)
{
    if (HelpTopics::findNode(nodeKey))
        ensureWindow().showPageOf(nodeKey);
}

void Help::ShowHelpTopic(const QString& topic)
{
    if (!HelpTopics::findTopic(topic))
        return;
    ensureWindow().ShowHelpTopic(topic);
}

void Help::showHelpWindow()
{
    ensureWindow().showWindow();
}
