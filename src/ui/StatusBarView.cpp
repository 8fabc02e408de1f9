#include "ui/StatusBarView.h"

#include "ui/ElidedLabel.h"
#include "ui/StatusPanels.h"

#include <QLabel>
#include <QStatusBar>

StatusBarView::StatusBarView(QStatusBar& bar, StatusPanels& panels) : QObject(&bar)
{
    bar.setObjectName(QStringLiteral("StatusBar1"));
    bar.setSizeGripEnabled(true);
    for (int number = 1; number <= StatusPanels::kCount; ++number) {
        auto* label = number == 1 ? new ElidedLabel(panels.panel(number), &bar)
                                  : new QLabel(panels.panel(number), &bar);
        label->setObjectName(QStringLiteral("panel%1").arg(number));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(16);
        label->setVisible(number == 1);
        bar.addWidget(label, number == 1 ? 1 : 0);
        m_labels.append(label);
    }
    connect(&panels, &StatusPanels::panelChanged, this,
            [this](int number, const QString& text) { m_labels[number - 1]->setText(text); });
}

void StatusBarView::showAllPanels()
{
    for (QLabel* label : std::as_const(m_labels))
        label->setVisible(true);
}
