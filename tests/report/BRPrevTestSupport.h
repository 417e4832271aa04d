#pragma once

// Preview tests: stores of text pages, scripted answers to the preview form's dialogs, and the
// event loop turned until the printer's posted messages have arrived.

#include "report/BRPrev.h"
#include "report/BRSearchDlg.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPainter>
#include <deque>
#include <optional>

namespace preview_support {

// Delivers posted messages (page announcements, progress, deferred deletes).
inline void pump()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// A finished store whose page n holds the lines texts[n - 1] (A4, 12 pt).
inline void runTextPages(TBRPrinter& printer, const QList<QStringList>& texts)
{
    printer.BeginDoc();
    for (const QStringList& lines : texts) {
        printer.NewPage();
        QPainter* canvas = printer.Canvas();
        QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
        font.setPointSize(12);
        canvas->setFont(font);
        int y = 300;
        for (const QString& line : lines) {
            canvas->drawText(printer.ToDeviceX(200), printer.ToDeviceY(y), line);
            y += 100;
        }
    }
    printer.EndDoc();
}

// Pages "Seite <n>" with "予選ヒート <n>" below.
inline QList<QStringList> numberedPages(int count)
{
    QList<QStringList> pages;
    for (int n = 1; n <= count; ++n)
        pages << QStringList { QStringLiteral("Seite %1").arg(n), QStringLiteral("予選ヒート %1").arg(n) };
    return pages;
}

// Answers the form's dialogs from scripts and records what was asked. Installed for its life.
class ScriptedDialogs {
public:
    struct Search {
        QString text;
        bool matchCase = false;
        bool cancel = false;
    };
    struct State {
        std::deque<std::optional<QString>> inputs; // nothing: the box is cancelled
        std::deque<std::optional<QString>> files; // for save and load; nothing: cancelled
        std::deque<Search> searches;
        QStringList asked; // "<caption>|<prompt>|<preset>" or "<title>|<filters>"
    };

    ScriptedDialogs()
        : m_state(std::make_shared<State>())
    {
        m_previous = setPreviewDialogs(std::make_unique<Dialogs>(m_state));
    }
    ~ScriptedDialogs() { setPreviewDialogs(std::move(m_previous)); }
    State& state() { return *m_state; }

private:
    class Dialogs final : public TBRPreviewDialogs {
    public:
        explicit Dialogs(std::shared_ptr<State> s)
            : m_s(std::move(s))
        {
        }
        QString InputBox(
            QWidget*, const QString& caption, const QString& prompt, const QString& preset) override
        {
            m_s->asked << caption + u'|' + prompt + u'|' + preset;
            std::optional<QString> answer;
            if (!m_s->inputs.empty()) {
                answer = m_s->inputs.front();
                m_s->inputs.pop_front();
            }
            return answer.value_or(preset);
        }
        std::optional<std::pair<QString, int>> saveFileName(
            QWidget*, const QString& title, const QStringList& filters, const QString&) override
        {
            m_s->asked << title + u'|' + filters.join(QStringLiteral(";;"));
            const std::optional<QString> f = Next();
            if (!f)
                return std::nullopt;
            return std::pair { *f, 0 };
        }
        std::optional<QString> openFileName(QWidget*, const QString& title, const QString& filter) override
        {
            m_s->asked << title + u'|' + filter;
            return Next();
        }
        void runSearch(TSearchDlg& dialog) override
        {
            if (m_s->searches.empty())
                return dialog.SpeedButton1Click();
            const Search s = m_s->searches.front();
            m_s->searches.pop_front();
            dialog.Edit1->setText(s.text);
            dialog.CheckBox1->setChecked(s.matchCase);
            if (s.cancel)
                dialog.SpeedButton1Click();
            else
                dialog.SpeedButton2Click();
        }

    private:
        std::optional<QString> Next()
        {
            if (m_s->files.empty())
                return std::nullopt;
            std::optional<QString> f = m_s->files.front();
            m_s->files.pop_front();
            return f;
        }
        std::shared_ptr<State> m_s;
    };

    std::shared_ptr<State> m_state;
    std::unique_ptr<TBRPreviewDialogs> m_previous;
};

} // namespace preview_support
