#pragma once

// The controllers that walk a banded report's data, and group bands (BandRpt_controller.cpp).

#include "platform/DataSet.h"
#include "report/BRExpr.h"
#include "report/BandRpt_band.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

// ---------------------------------------------------------------------------------------------
// 7. Controllers and groups
// ---------------------------------------------------------------------------------------------

class TBRGroup;

using TBROnNeedDataEvent = std::function<void(QObject* sender, bool& moreData)>;

// Drives the data of one level of a report: prints the detail band once per record and around
// it the header, footer, group bands and the controllers of nested levels. Owned by its owner
// link (the report or the band that made it).
class TBRCustomController : public QObject {
public:
    explicit TBRCustomController(QObject* ownerLink = nullptr);

    QObject* ownerLink() const { return m_ownerLink; }
    QObject* Master() const { return m_master; }
    // Accepts a report, a controller or a band that owns a controller; refuses this
    // controller, its own master identity and any master chain that leads back to it.
    bool SetMaster(QObject* master);
    // Clients whose Master is this object belong to this controller.
    QObject* masterIdentity() const { return m_masterIdentity; }
    void setMasterIdentity(QObject* identity) { m_masterIdentity = identity; }
    TCustomBandReport* ParentReport() const { return m_report; }
    void setParentReport(TCustomBandReport* report) { m_report = report; }

    bool PrintIfEmpty = true;
    bool PrintBefore() const { return m_printBefore; }
    virtual void setPrintBefore(bool on) { m_printBefore = on; }

    void AddBefore(TBRCustomController* c) { m_before.append(c); }
    void AddAfter(TBRCustomController* c) { m_after.append(c); }
    void AddNotifyClient(TBRPrintable* client) { m_notify.append(client); }
    void NotifyClients(bool printed);
    const QList<TBRGroup*>& groups() const { return m_groups; }
    const QList<TBRCustomController*>& beforeList() const { return m_before; }
    const QList<TBRCustomController*>& afterList() const { return m_after; }

    // The controller's own value as an expression result (an error result here).
    virtual EvResult controllerValue() const;
    virtual void PrepareTree();
    virtual void Execute();
    virtual void Prepare();
    virtual void Unprepare();
    virtual void ExecuteAfter();
    virtual void ExecuteBefore();
    virtual void PrintEmptyController();
    virtual void RegisterBands(QList<TBRCustomBand*>& list);
    virtual void RegisterDataSets(TBRDataSetList& list);

    // Groups: the first change restarts every group inside it.
    bool CheckGroups();
    void CheckReprintGroups();
    void PrintGroupHeaders();
    void PrintGroupFooters();
    void ToggleGroupFlags();

protected:
    // Lets the application handle what is pending; false when the run was cancelled.
    bool keepGoing() const;
    // True when the run is over: cancelled, or a data set that a controller of the run walks
    // has gone (freed by the program in a handler), which cancels it now. Checked after every
    // call that may run the program's code, so that nothing is read or printed afterwards.
    bool runEnded() const;
    // A data set this controller walked in the run, or was given to walk, has gone.
    virtual bool dataSetGone() const { return false; }
    // The same for this controller or any below it.
    bool treeDataSetGone() const;
    void markLaterGroupsChanged(int from);

    QList<TBRGroup*> m_groups;

private:
    QObject* m_ownerLink;
    QPointer<QObject> m_master;
    QObject* m_masterIdentity;
    TCustomBandReport* m_report = nullptr;
    bool m_printBefore = false;
    QList<TBRCustomController*> m_before;
    QList<TBRCustomController*> m_after;
    QList<QPointer<TBRPrintable>> m_notify;
    TBREvEmbeddedFunction* m_environmentElement = nullptr;
};

// A controller that walks a data set (or asks OnNeedData) and prints its detail band per record.
class TBRController : public TBRCustomController {
public:
    explicit TBRController(QObject* ownerLink = nullptr);

    platform::DataSet* DataSet() const { return m_dataSet; }
    void setDataSet(platform::DataSet* dataSet) { m_dataSet = dataSet; }
    TBRCustomBand* Detail() const { return m_detail; }
    TBRCustomBand* Header() const { return m_header; }
    TBRCustomBand* Footer() const { return m_footer; }
    void setDetail(TBRCustomBand* band) { m_detail = band; }
    void setHeader(TBRCustomBand* band) { m_header = band; }
    void setFooter(TBRCustomBand* band) { m_footer = band; }
    TBROnNeedDataEvent OnNeedData;
    int DetailNumber = 0;
    bool paramsBound() const { return m_paramsBound; }

    void Execute() override;
    void Prepare() override;
    void PrintEmptyController() override;
    void RegisterBands(QList<TBRCustomBand*>& list) override;
    void RegisterDataSets(TBRDataSetList& list) override;

protected:
    bool dataSetGone() const override { return m_dataSetInRun && !m_dataSet; }

private:
    bool dataSetActive() const;

    QPointer<platform::DataSet> m_dataSet;
    bool m_dataSetInRun = false; // active when the run was prepared or at a start of its loop
    QPointer<TBRCustomBand> m_detail;
    QPointer<TBRCustomBand> m_header;
    QPointer<TBRCustomBand> m_footer;
    bool m_paramsBound = false;
};

// A band printed when the value of its Expression changes from one record to the next, with an
// optional footer band printed when the group ends.
class TBRGroup : public TBRCustomBand {
public:
    explicit TBRGroup(TCustomBandReport* report = nullptr);
    ~TBRGroup() override;

    QString Expression;
    bool ReprintOnNewPage = false;
    TBRBand* FooterBand() const { return m_footerBand; }
    void setFooterBand(TBRBand* band);
    QObject* Master() const { return m_master; }
    // Accepts a report or a band that owns a controller; anything else is ignored.
    void SetMaster(QObject* master);

    bool changed() const { return m_changed; }
    void setChanged(bool on) { m_changed = on; }
    bool hasValue() const { return m_hasValue; }
    void clearValue() { m_hasValue = false; }
    bool isOpen() const { return m_open; }
    const EvResult& storedValue() const { return m_value; }

    bool Check();
    bool CheckReprint();
    // Evaluates the expression and stores the value, marking the group changed.
    void restart();
    void PrintGroupHeader();
    void PrintGroupFooter();
    void Prepare();
    void Unprepare();

private:
    std::unique_ptr<TBREvaluator> m_evaluator;
    QPointer<TBRBand> m_footerBand;
    QPointer<QObject> m_master;
    bool m_changed = false;
    bool m_hasValue = false;
    EvResult m_value;
    bool m_open = false;
    int m_headerPage = 1;
};
