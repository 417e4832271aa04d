#include "platform/DataSet.h"
#include "report/BandRpt.h"

#include <QSet>

// ---------------------------------------------------------------------------------------------
// TBRCustomController
// ---------------------------------------------------------------------------------------------

namespace {

// The controller a master stands for: itself, or the one a band owns.
TBRCustomController* controllerOf(QObject* o)
{
    if (auto* c = dynamic_cast<TBRCustomController*>(o))
        return c;
    if (auto* band = dynamic_cast<TBRCustomBand*>(o))
        return band->ownedController();
    return nullptr;
}

} // namespace

TBRCustomController::TBRCustomController(QObject* ownerLink)
    : QObject(ownerLink)
    , m_ownerLink(ownerLink)
    , m_masterIdentity(this)
{
}

bool TBRCustomController::SetMaster(QObject* master)
{
    if (master) {
        if (!dynamic_cast<TCustomBandReport*>(master) && !controllerOf(master))
            return false;
        // A controller under itself, or under its own identity, would find itself among its
        // master's clients and build its tree for ever; so would any longer cycle.
        QSet<QObject*> seen;
        for (QObject* m = master; m && !seen.contains(m);) {
            if (m == this || m == m_masterIdentity)
                return false;
            seen.insert(m);
            TBRCustomController* c = controllerOf(m);
            if (!c)
                break;
            if (c == this)
                return false;
            m = c->Master();
        }
    }
    m_master = master;
    return true;
}

void TBRCustomController::NotifyClients(bool)
{
    for (const QPointer<TBRPrintable>& client : std::as_const(m_notify)) {
        if (client)
            client->ReportNotify(this, 0);
    }
}

EvResult TBRCustomController::controllerValue() const
{
    return EvResult::fromError(QStringLiteral("Controller has no value"));
}

void TBRCustomController::PrepareTree()
{
    m_before.clear();
    m_after.clear();
    m_groups.clear();
    if (!m_report)
        return;
    // The clients of this controller are the controllers and groups of the report's form whose
    // master is this controller's identity, in the form's order (the first group is the
    // outermost).
    QList<QObject*> components = m_report->ownerForm()->findChildren<QObject*>();
    if (m_masterIdentity != m_report->ownerForm()) {
        for (QObject* o : m_masterIdentity->children()) {
            if (!components.contains(o))
                components.append(o);
        }
    }
    QSet<TBRCustomController*> taken;
    for (QObject* o : std::as_const(components)) {
        if (auto* group = dynamic_cast<TBRGroup*>(o)) {
            if (group->Master() == m_masterIdentity && !m_groups.contains(group))
                m_groups.append(group);
            continue;
        }
        TBRCustomController* c = controllerOf(o);
        if (!c || c == this || taken.contains(c) || c->Master() != m_masterIdentity)
            continue;
        taken.insert(c);
        c->setParentReport(m_report);
        (c->PrintBefore() ? m_before : m_after).append(c);
        c->PrepareTree();
    }
    if (!m_report->Available())
        RegisterDataSets(m_report->m_dataSets);
}

void TBRCustomController::Prepare()
{
    m_notify.clear();
    for (TBRCustomController* c : std::as_const(m_before))
        c->Prepare();
    for (TBRCustomController* c : std::as_const(m_after))
        c->Prepare();
    for (TBRGroup* g : std::as_const(m_groups))
        g->Prepare();
    m_environmentElement = nullptr;
    if (m_report && m_ownerLink) {
        const auto function = m_report->Functions().findFunction(m_ownerLink->objectName());
        m_environmentElement = function.get();
    }
}

void TBRCustomController::Unprepare()
{
    for (TBRCustomController* c : std::as_const(m_before))
        c->Unprepare();
    for (TBRCustomController* c : std::as_const(m_after))
        c->Unprepare();
    for (TBRGroup* g : std::as_const(m_groups))
        g->Unprepare();
    m_environmentElement = nullptr;
}

void TBRCustomController::Execute()
{
    if (PrintIfEmpty)
        PrintEmptyController();
}

void TBRCustomController::ExecuteBefore()
{
    for (TBRCustomController* c : std::as_const(m_before))
        c->Execute();
}

void TBRCustomController::ExecuteAfter()
{
    for (TBRCustomController* c : std::as_const(m_after))
        c->Execute();
}

void TBRCustomController::PrintEmptyController()
{
    ExecuteBefore();
    ExecuteAfter();
}

void TBRCustomController::RegisterBands(QList<TBRCustomBand*>&) { }

void TBRCustomController::RegisterDataSets(TBRDataSetList&) { }

bool TBRCustomController::keepGoing() const
{
    brYield();
    if (!m_report)
        return false;
    const TBRPrinter* printer = m_report->BRPrinter();
    return !m_report->Cancelled() && !(printer && printer->Cancelled());
}

bool TBRCustomController::treeDataSetGone() const
{
    if (dataSetGone())
        return true;
    for (const QList<TBRCustomController*>* list : { &m_before, &m_after }) {
        for (const TBRCustomController* c : *list) {
            if (c->treeDataSetGone())
                return true;
        }
    }
    return false;
}

bool TBRCustomController::runEnded() const
{
    if (!m_report || m_report->Cancelled())
        return true;
    // Whichever level's data set went, the records of every level depend on it: a master's
    // record without its sub-records, or sub-records under no record, would be a report with
    // rows missing that looks whole.
    if (!m_report->Controller().treeDataSetGone())
        return false;
    m_report->cancelRun();
    return true;
}

void TBRCustomController::markLaterGroupsChanged(int from)
{
    for (int j = from; j < m_groups.size(); ++j)
        m_groups[j]->restart();
}

bool TBRCustomController::CheckGroups()
{
    for (int i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i]->Check()) {
            // An outer change restarts every group inside it.
            markLaterGroupsChanged(i + 1);
            return true;
        }
    }
    return false;
}

void TBRCustomController::CheckReprintGroups()
{
    for (TBRGroup* g : std::as_const(m_groups)) {
        if (g->changed())
            return;
    }
    for (TBRCustomController* c : std::as_const(m_before))
        c->CheckReprintGroups();
    for (int i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i]->CheckReprint()) {
            markLaterGroupsChanged(i + 1);
            PrintGroupHeaders();
            break;
        }
    }
    for (TBRCustomController* c : std::as_const(m_after))
        c->CheckReprintGroups();
}

void TBRCustomController::PrintGroupHeaders()
{
    for (TBRGroup* g : std::as_const(m_groups)) {
        if (g->changed())
            g->PrintGroupHeader();
    }
}

void TBRCustomController::PrintGroupFooters()
{
    for (auto it = m_groups.crbegin(); it != m_groups.crend(); ++it) {
        if ((*it)->changed())
            (*it)->PrintGroupFooter();
    }
}

void TBRCustomController::ToggleGroupFlags()
{
    for (TBRGroup* g : std::as_const(m_groups))
        g->setChanged(!g->changed());
}

// ---------------------------------------------------------------------------------------------
// TBRController
// ---------------------------------------------------------------------------------------------

TBRController::TBRController(QObject* ownerLink)
    : TBRCustomController(ownerLink)
{
}

bool TBRController::dataSetActive() const { return m_dataSet && m_dataSet->Active(); }

void TBRController::Prepare()
{
    TBRCustomController::Prepare();
    m_dataSetInRun = dataSetActive();
    m_paramsBound = false;
    const auto* query = dynamic_cast<const platform::Query*>(m_dataSet.data());
    if (!query || !ParentReport())
        return;
    TBREvEnvironment& functions = ParentReport()->Functions();
    for (int i = 0; i < query->ParamCount(); ++i) {
        if (functions.findFunction(query->Params(i)->Name().toUpper()))
            m_paramsBound = true;
    }
}

void TBRController::RegisterBands(QList<TBRCustomBand*>& list)
{
    const auto add = [&](TBRCustomBand* band) {
        if (band && !list.contains(band))
            list.append(band);
    };
    add(m_header);
    for (TBRGroup* g : std::as_const(m_groups))
        add(g);
    for (TBRCustomController* c : beforeList())
        c->RegisterBands(list);
    add(m_detail);
    for (TBRCustomController* c : afterList())
        c->RegisterBands(list);
    for (auto it = m_groups.crbegin(); it != m_groups.crend(); ++it)
        add((*it)->FooterBand());
    add(m_footer);
}

void TBRController::RegisterDataSets(TBRDataSetList& list)
{
    if (dataSetActive() && !list.contains(m_dataSet.data()))
        list.append(m_dataSet.data());
}

void TBRController::PrintEmptyController()
{
    TCustomBandReport* r = ParentReport();
    if (!r)
        return;
    // No record is printed: the detail's aggregating clients (a COUNT in a sub-detail's footer)
    // take nothing, whether or not this controller has driven the detail before.
    struct Undriven {
        QPointer<TBRCustomBand> band;
        QPointer<TBRCustomController> driver;
        explicit Undriven(TBRCustomBand* b)
            : band(b)
            , driver(b ? b->Controller() : nullptr)
        {
            if (band)
                band->setController(nullptr);
        }
        ~Undriven()
        {
            if (band)
                band->setController(driver);
        }
    } undriven(m_detail);
    r->PrintBand(m_header);
    if (runEnded())
        return;
    ExecuteBefore();
    if (runEnded())
        return;
    r->PrintBand(m_detail);
    if (runEnded())
        return;
    ExecuteAfter();
    if (runEnded())
        return;
    r->PrintBand(m_footer);
}

void TBRController::Execute()
{
    int recordCount = 1;
    for (TBRGroup* g : std::as_const(m_groups))
        g->clearValue();
    TCustomBandReport* r = ParentReport();
    const bool active = dataSetActive();
    m_dataSetInRun = m_dataSetInRun || active;
    // A data set gone since the last master record (freed in a footer, say) is no empty child.
    if (r && runEnded())
        return;
    if ((!active && !OnNeedData) || !r) {
        if (PrintIfEmpty)
            PrintEmptyController();
        return;
    }
    auto* bandReport = dynamic_cast<TBandReport*>(r);
    bool moreData = true;
    if (active) {
        if (m_paramsBound)
            BRBindQueryParams(m_dataSet, r->Functions());
        m_dataSet->First();
        moreData = !m_dataSet->Eof();
        if (bandReport)
            recordCount = bandReport->RecordCount();
        if (!moreData && PrintIfEmpty)
            PrintEmptyController();
    } else {
        OnNeedData(masterIdentity(), moreData);
    }
    DetailNumber = 0;
    if (m_detail)
        m_detail->setController(this);
    // The run lets events through (a previewed run once per record) and calls the program's
    // handlers, and the program may free the data set in any of them. Then the run ends as
    // cancelled, at once: nothing is read through the data set again, not even to close its
    // groups or print the footer. The same holds once the run is cancelled otherwise (a
    // sub-detail's data set freed, the preview closed): nothing more is printed.
    const auto ended = [this] { return runEnded(); };
    if (ended() || !moreData || !keepGoing() || ended())
        return;

    const bool mainController = &r->Controller() == this;
    if (m_header) {
        r->PrintBand(m_header);
        if (mainController)
            r->setHeaderJustPrinted();
    }
    if (mainController && r->PageNumber() <= 1) {
        TBRCustomBand* columnHeader = r->Bands().BandOfType(TBRBandType::rbColumnHeader);
        if (columnHeader && columnHeader->Enabled()) {
            r->PrintBand(columnHeader);
            r->setHeaderJustPrinted();
        }
    }
    if (ended())
        return;
    CheckGroups();
    const bool reportsProgress = bandReport && bandReport->DataSet() == m_dataSet.data() && recordCount != 0;
    while (moreData) {
        if (!keepGoing() || ended())
            return;
        ++DetailNumber;
        PrintGroupHeaders();
        if (ended())
            return;
        ExecuteBefore();
        if (ended())
            return;
        r->PrintBand(m_detail);
        if (mainController)
            r->setHeaderJustPrinted(false);
        if (ended())
            return;
        ExecuteAfter();
        if (ended())
            return;
        if (active) {
            m_dataSet->Next();
            moreData = !m_dataSet->Eof();
        } else {
            moreData = false;
            OnNeedData(masterIdentity(), moreData);
            if (ended())
                return;
        }
        if (CheckGroups()) {
            // Footers see the last record of the group that ends.
            if (active) {
                if (ended())
                    return;
                m_dataSet->Prior();
            }
            PrintGroupFooters();
            if (ended())
                return;
            if (active)
                m_dataSet->Next();
        }
        if (reportsProgress && r->BRPrinter())
            r->BRPrinter()->NotifyProgress(DetailNumber * 100 / recordCount);
    }
    ToggleGroupFlags();
    PrintGroupFooters();
    if (ended() || !m_footer)
        return;
    if (r->PageNumber() == 0)
        r->NewColumn();
    if (m_footer->Size().nativeHeight() > r->AvailableSpace())
        r->NewColumn();
    r->PrintBand(m_footer);
    // The master goes on with its next record only while every data set is still there.
    ended();
}

// ---------------------------------------------------------------------------------------------
// TBRGroup
// ---------------------------------------------------------------------------------------------

TBRGroup::TBRGroup(TCustomBandReport* report)
    : TBRCustomBand(report)
    , m_evaluator(std::make_unique<TBREvaluator>())
    , m_master(report)
{
    setBandType(TBRBandType::rbGroupHeader);
}

TBRGroup::~TBRGroup() = default;

void TBRGroup::setFooterBand(TBRBand* band)
{
    m_footerBand = band;
    if (band)
        band->setBandType(TBRBandType::rbGroupFooter);
}

void TBRGroup::SetMaster(QObject* master)
{
    if (dynamic_cast<TCustomBandReport*>(master)
        || (dynamic_cast<TBRCustomBand*>(master) && static_cast<TBRCustomBand*>(master)->ownedController()))
        m_master = master;
}

bool TBRGroup::Check()
{
    m_changed = false;
    if (!m_hasValue) {
        restart();
        return true;
    }
    const EvResult v = m_evaluator->Value();
    // An error in the expression never counts as a change.
    if (v.isError())
        return false;
    bool differs = v.Kind != m_value.Kind;
    if (!differs) {
        switch (v.Kind) {
        case EvResultKind::Integer:
            differs = v.IntResult != m_value.IntResult;
            break;
        case EvResultKind::Float:
            differs = v.FloatResult != m_value.FloatResult;
            break;
        case EvResultKind::String:
            differs = v.StrResult != m_value.StrResult;
            break;
        case EvResultKind::Boolean:
            differs = v.BoolResult != m_value.BoolResult;
            break;
        case EvResultKind::Error:
            break;
        }
    }
    if (differs) {
        m_value = v;
        m_changed = true;
    }
    return m_changed;
}

void TBRGroup::restart()
{
    m_value = m_evaluator->Value();
    m_hasValue = true;
    m_changed = true;
}

bool TBRGroup::CheckReprint()
{
    const int page = ParentReport() ? ParentReport()->PageNumber() : 0;
    m_changed = ReprintOnNewPage && m_open && page != m_headerPage;
    if (m_changed)
        m_headerPage = page;
    return m_changed;
}

void TBRGroup::PrintGroupHeader()
{
    TCustomBandReport* r = ParentReport();
    if (!r)
        return;
    r->PrintBand(this);
    m_open = true;
    m_headerPage = r->PageNumber();
}

void TBRGroup::PrintGroupFooter()
{
    if (TCustomBandReport* r = ParentReport())
        r->PrintBand(m_footerBand);
    m_open = false;
}

void TBRGroup::Prepare()
{
    if (TCustomBandReport* r = ParentReport()) {
        m_evaluator->SetDataSets(r->DataSets());
        m_evaluator->setEnvironment(&r->Functions());
    }
    m_evaluator->Prepare(Expression);
    m_hasValue = false;
    m_open = false;
    m_headerPage = 1;
}

void TBRGroup::Unprepare()
{
    if (m_evaluator->Prepared())
        m_evaluator->Unprepare();
}
