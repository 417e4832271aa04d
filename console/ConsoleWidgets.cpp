#include "console/ConsoleWidgets.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace console {

TPanel::TPanel(QWidget* parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    applyColors();
}

void TPanel::setColor(platform::TColor color)
{
    m_color = color;
    applyColors();
}

void TPanel::setFontColor(platform::TColor color)
{
    m_fontColor = color;
    applyColors();
}

void TPanel::applyColors()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, platform::colorFromRef(m_color));
    pal.setColor(QPalette::WindowText, platform::colorFromRef(m_fontColor));
    setPalette(pal);
    update();
}

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent, int columns)
    : QGroupBox(caption, parent)
{
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 4, 4, 4);
    layout->setSpacing(2);
    m_group = new QButtonGroup(this);
    auto* group = m_group;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group->addButton(button, i);
        layout->addWidget(button, i / columns, i % columns);
        m_buttons.push_back(button);
    }
    connect(group, &QButtonGroup::idClicked, this, [this](int) {
        if (OnClick)
            OnClick();
    });
}

int TRadioGroup::ItemIndex() const
{
    for (size_t i = 0; i < m_buttons.size(); ++i)
        if (m_buttons[i]->isChecked())
            return static_cast<int>(i);
    return -1;
}

void TRadioGroup::setItemIndex(int index)
{
    if (index >= 0 && index < count()) {
        m_buttons[static_cast<size_t>(index)]->setChecked(true);
        return;
    }
    // No item chosen: an exclusive group refuses to uncheck its last button.
    m_group->setExclusive(false);
    for (QRadioButton* b : m_buttons)
        b->setChecked(false);
    m_group->setExclusive(true);
}

QRadioButton* TRadioGroup::Button(int index) const
{
    return index >= 0 && index < count() ? m_buttons[static_cast<size_t>(index)] : nullptr;
}

EventHook::EventHook(QObject* target, QEvent::Type type, std::function<void()> run)
    : QObject(target)
    , m_type(type)
    , m_run(std::move(run))
{
    target->installEventFilter(this);
}

bool EventHook::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == m_type)
        m_run();
    return false;
}

} // namespace console
