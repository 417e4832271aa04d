#include "report/BRPrntr.h"

#include "platform/Asker.h"

#include <QDesktopServices>
#include <QDir>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Outline
// ---------------------------------------------------------------------------------------------

void TBROutline::Clear()
{
    m_entries.clear();
    // The view's nodes belong to the entries just dropped.
    if (m_view)
        m_view->clear();
}

void TBROutline::addEntry(const QString& caption, int level, const QRect& rect, int page)
{
    m_entries.append({ caption, level, rect, page, nullptr });
}

void TBROutline::SetTreeView(QTreeWidget* view)
{
    m_view = view;
    if (view)
        FillTreeView();
}

QTreeWidget* TBROutline::treeView() const { return m_view; }

void TBROutline::FillTreeView()
{
    if (!m_view)
        return;
    m_view->setUpdatesEnabled(false);
    m_view->clear();
    // The node last added on each level; an entry hangs below the last node one level up.
    std::array<QTreeWidgetItem*, MaxLevels> last {};
    for (TBROutlineEntry& e : m_entries) {
        const int level = std::clamp(e.level, 0, MaxLevels - 1);
        QTreeWidgetItem* parent = level > 0 ? last[static_cast<std::size_t>(level - 1)] : nullptr;
        auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_view.data());
        node->setText(0, e.caption);
        e.node = node;
        last[static_cast<std::size_t>(level)] = node;
    }
    m_view->setUpdatesEnabled(true);
}

int TBROutline::FindEntry(const QTreeWidgetItem* node, QRect* rect) const
{
    if (!node)
        return 0;
    for (const TBROutlineEntry& e : m_entries) {
        if (e.node == node) {
            if (rect)
                *rect = e.rect;
            return e.page;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Hyperlinks
// ---------------------------------------------------------------------------------------------

namespace {

struct LinkHandler {
    QString prefix;
    TBRInternalLinkHandler handler;
};

std::vector<LinkHandler>& InternalLinkHandlers()
{
    static std::vector<LinkHandler> handlers;
    return handlers;
}

TBRExternalLinkOpener& externalOpener()
{
    static TBRExternalLinkOpener opener;
    return opener;
}

} // namespace

void registerInternalLinkHandler(const QString& prefix, TBRInternalLinkHandler handler)
{
    InternalLinkHandlers().push_back({ prefix, std::move(handler) });
}

void unregisterInternalLinkHandler(const QString& prefix)
{
    auto& h = InternalLinkHandlers();
    std::erase_if(h, [&](const LinkHandler& l) { return l.prefix == prefix; });
}

bool DispatchInternalLink(const QString& link, QObject* preview)
{
    for (const LinkHandler& l : InternalLinkHandlers()) {
        if (link.startsWith(l.prefix, Qt::CaseSensitive)) {
            l.handler(link.mid(l.prefix.size()), preview);
            return true;
        }
    }
    return false;
}

void OpenExternalLink(const QString& link)
{
    if (const TBRExternalLinkOpener& opener = externalOpener()) {
        opener(link);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromUserInput(link, QDir::currentPath(), QUrl::AssumeLocalFile));
}

TBRExternalLinkOpener setExternalLinkOpener(TBRExternalLinkOpener opener)
{
    return std::exchange(externalOpener(), std::move(opener));
}

void brHandleHyperlink(const QString& link, QObject* preview)
{
    const QString prefix = link.left(4).toUpper();
    if (prefix == QLatin1String("EXT:")) {
        OpenExternalLink(link.mid(4));
    } else if (prefix == QLatin1String("INT:")) {
        DispatchInternalLink(link.mid(4), preview);
    } else if (!DispatchInternalLink(link, preview)) {
        OpenExternalLink(link);
    }
}

// ---------------------------------------------------------------------------------------------
// Telling how a print ended
// ---------------------------------------------------------------------------------------------

QString brEarlierPrintRunningText()
{
    return QStringLiteral("前の印刷がまだ終わっていません。終わってから、もう一度押してください。");
}

void brTellPrintResult(
    const TBRPrinter::PrintResult& result, const std::function<void(const QString&)>& status)
{
    if (result.outcome == TBRPrinter::PrintOutcome::Refused) {
        platform::showMessage(brEarlierPrintRunningText());
    } else if (result.outcome == TBRPrinter::PrintOutcome::NothingToPrint) {
        platform::showMessage(QStringLiteral("印刷範囲にページがないため、何も印刷しませんでした。"));
    } else if (result.outcome == TBRPrinter::PrintOutcome::Failed) {
        platform::showError(result.failure.message);
    } else if (result.outcome == TBRPrinter::PrintOutcome::Printed && !result.notice.isEmpty()) {
        if (result.held || !status)
            platform::showMessage(result.notice);
        else
            status(result.notice);
    }
}
