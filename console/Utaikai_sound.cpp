// The console's sound cues: the cue tables per phase, their registration and playback.

#include "app/DBControls.h"
#include "app/Udm1.h"
#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "console/ConsoleWidgets.h"
#include "console/CountdownEngine.h"
#include "console/CueBank.h"
#include "console/CuePlayerView.h"
#include "console/Utaikai.h"
#include "platform/Asker.h"
#include "platform/DataSet.h"
#include "platform/FileDialogFolder.h"
#include "platform/TypedText.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTimeEdit>
#include <utility>

namespace console {
namespace {

template <size_t N>
std::vector<CuePlayer*> firstPlayers(const std::array<std::unique_ptr<CuePlayer>, N>& bank, size_t n)
{
    std::vector<CuePlayer*> players;
    for (size_t i = 0; i < n && i < N; ++i)
        players.push_back(bank[i].get());
    return players;
}

size_t index(CuePhase phase) { return size_t(phaseIndex(phase)); }

// The cue phases are the count-down's phases, in the same order.
static_assert(int(CuePhase::Warm) == int(Phase::Warm) && int(CuePhase::Race) == int(Phase::Race)
    && int(CuePhase::Over) == int(Phase::Over) && int(CuePhase::Interval) == int(Phase::Interval));

} // namespace

void TFtaikai::connectSoundHandlers()
{
    // The slots of each phase; MPo4..MPo9 never take a cue. The count-down plays the same players.
    m_cueBank = std::make_unique<CueBank>(
        CueBank::Players { firstPlayers(MP, MP.size()), firstPlayers(MPt, MPt.size()),
            firstPlayers(MPo, size_t(phaseInfo(CuePhase::Over).slotCount)), firstPlayers(MPi, MPi.size()) });
    for (CuePhase phase : AllCuePhases)
        m_countdown->setPlayers(static_cast<Phase>(phaseIndex(phase)), m_cueBank->allPlayers()[index(phase)]);

    // Every player in the order of the sound check page: MP1.., MPt1.., MPo1.., MPi1..
    std::vector<CuePlayer*> all;
    auto add = [&all](const auto& bank) {
        for (const auto& player : bank)
            all.push_back(player.get());
    };
    add(MP);
    add(MPt);
    add(MPo);
    add(MPi);
    for (size_t i = 0; i < all.size() && i < PlayerViews.size(); ++i) {
        CuePlayer* player = all[i];
        PlayerViews[i]->setPlayer(player);
        PlayerViews[i]->OnPlayFailed = [this](const QString& name) {
            showStatus(name + QStringLiteral(" のファイルを再生できません。"));
        };
        // A cue that fails while the count-down runs is said on the status line; the count-down
        // goes on.
        player->OnError = [this, player](const QString& message) {
            showStatus(QStringLiteral("音声ファイルを再生できません: ") + player->FileName()
                + QStringLiteral("（") + message + QStringLiteral("）"));
        };
        player->OnNotAnswering = [this, player] {
            const QString file = player->FileName();
            showStatus(QStringLiteral("音声の出力が応答しません")
                + (file.isEmpty() ? QStringLiteral("。") : QStringLiteral(": ") + file));
        };
        // No sound output at all fails every cue alike: said once, until a cue sounds again.
        player->OnNoOutput = [this](const QString& message) {
            if (std::exchange(m_saidNoSoundOutput, true))
                return;
            showStatus(QStringLiteral("音声キューは鳴りません: ") + message);
        };
        player->OnStarted = [this] { m_saidNoSoundOutput = false; };
    }

    for (CuePhase phase : AllCuePhases) {
        const size_t k = index(phase);
        CueSetButtons[k]->OnClick = [this, phase] { registerCue(phase); };
        CueTestButtons[k]->OnClick = [this, phase] { testPlay(phase); };
        CueGrids[k]->OnDblClick = [this, phase] { takeGridRow(phase); };
        connect(CueGridMenus[k]->actions().value(0), &QAction::triggered, this,
            [this, phase] { deleteGridRow(phase); });
        connect(CueFileMenus[k]->actions().value(0), &QAction::triggered, this,
            [this, phase] { pickCueFile(phase); });
        TDBGrid* grid = CueGrids[k];
        QMenu* gridMenu = CueGridMenus[k];
        connect(grid, &QWidget::customContextMenuRequested, this, [grid, gridMenu](const QPoint& pos) {
            // The row under the mouse becomes the current row, so that "削除" deletes what was
            // pointed at.
            const QModelIndex index = grid->indexAt(pos);
            if (!index.isValid())
                return;
            grid->setCurrentIndex(index);
            gridMenu->popup(grid->viewport()->mapToGlobal(pos));
        });
        QLineEdit* box = CueFiles[k];
        QMenu* boxMenu = CueFileMenus[k];
        connect(box, &QWidget::customContextMenuRequested, this,
            [box, boxMenu](const QPoint& pos) { boxMenu->popup(box->mapToGlobal(pos)); });
    }
    CuteButton10->OnClick = [this] { CuteButton10Click(); };
    CuteButton23->OnClick = [this] { CuteButton23Click(); };
    new EventHook(Eddelay, QEvent::FocusOut, [this] { EddelayExit(); });
    new EventHook(Eddelay, QEvent::MouseButtonDblClick, [this] { EddelayDblClick(); });
}

platform::Query* TFtaikai::cueQuery(CuePhase phase) const
{
    if (!m_dev.dm)
        return nullptr;
    const std::array<platform::Query*, CuePhaseCount> queries
        = { dm().Qwarm, dm().Qrace, dm().Qover, dm().Qint };
    return queries[index(phase)];
}

void TFtaikai::reopenCueGrid(CuePhase phase)
{
    platform::Query* q = cueQuery(phase);
    if (!q)
        return;
    q->Close();
    q->SQL = cueGridSql(CurrentEventCode, phase);
    q->Open();
}

void TFtaikai::TabSheet2Show()
{
    const bool counting = m_countdown->countingDown();
    // The warning stays readable: everything else on the page is switched off while counting.
    // A run stopped part-way keeps its players, its reset and its digits, so that Start resumes it.
    for (QWidget* w : TabSheet2->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (w != Panel14)
            w->setEnabled(!counting);
    Panel14->setVisible(counting);
    Panel14->raise();
    if (counting || m_countdown->resumable())
        return;
    clearmp();
    m_countdown->forgetReset();
    segclear();
}

void TFtaikai::setmp()
{
    CueRows rows;
    if (m_dev.dm) {
        try {
            rows = readRunCues(*dm().Qtemp, CurrentEventCode,
                { DTP1->time(), DTP4->time(), DTP2->time(), DTP3->time(), DTPauto->time() });
        } catch (const platform::DatabaseError& e) {
            showStatus(QStringLiteral("音声データを読み込めませんでした: ") + e.message());
        }
    }
    const CueBank::Loaded loaded = m_cueBank->Load(rows);
    m_testPlaying = {};
    // The count-down keeps the list and the copy a fresh run starts from; the memo mirrors it.
    m_countdown->setCueList(loaded.cueList);
    if (!loaded.skipped.isEmpty())
        showStatus(QStringLiteral("開けない音声ファイルは鳴らしません: ")
            + loaded.skipped.join(QStringLiteral("、")));
    refreshPlayerViews();
}

void TFtaikai::clearmp()
{
    m_cueBank->Clear();
    m_testPlaying = {};
    refreshPlayerViews();
}

void TFtaikai::refreshPlayerViews()
{
    for (CuePlayerView* view : PlayerViews)
        view->refresh();
}

void TFtaikai::registerCue(CuePhase phase)
{
    if (!m_dev.dm)
        return;
    const size_t k = index(phase);
    const QString file = CueFiles[k]->text();
    if (!platform::acceptTypedText(asker(), QStringLiteral("音声ファイル"), file))
        return;
    // A file that is not there (a template's path may name one not copied yet) or cannot be read
    // is registered only when the operator says so.
    const QString problem = file.isEmpty() ? QString() : cueFileProblem(file);
    if (!problem.isEmpty()
        && !asker().askYesNo(
            QStringLiteral("確認してください。"), problem + QStringLiteral("\nこのまま登録しますか？")))
        return;
    try {
        CueTable table(*dm().Qtemp, asker(), CurrentEventCode);
        if (table.registerCue(phase, CueTimes[k]->time(), file) == CueRegistration::Registered)
            reopenCueGrid(phase);
    } catch (const platform::DatabaseError& e) {
        asker().error(e.message());
    }
}

void TFtaikai::takeGridRow(CuePhase phase)
{
    platform::Query* q = cueQuery(phase);
    if (!q || !q->Active() || q->RecordCount() == 0)
        return;
    const size_t k = index(phase);
    CueTimes[k]->setTime(pickerTimeOfText(q->FieldByName(QStringLiteral("tno"))->AsString()));
    CueFiles[k]->setText(q->FieldByName(QStringLiteral("mname"))->AsString());
}

void TFtaikai::deleteGridRow(CuePhase phase)
{
    platform::Query* q = cueQuery(phase);
    if (!q || !q->Active() || q->RecordCount() == 0)
        return;
    const size_t k = index(phase);
    const QString tno = q->FieldByName(QStringLiteral("tno"))->AsString();
    if (tno == longTimeText(CueTimes[k]->time())) {
        CueTimes[k]->setTime(QTime(0, 0));
        CueFiles[k]->clear();
    }
    try {
        CueTable(*dm().Qtemp, asker(), CurrentEventCode).remove(phase, tno);
        reopenCueGrid(phase);
    } catch (const platform::DatabaseError& e) {
        asker().error(e.message());
    }
}

void TFtaikai::testPlay(CuePhase phase)
{
    const size_t k = index(phase);
    CuePlayer* player = m_cueBank->player(phase, 0);
    if (m_testPlaying[k]) {
        m_testPlaying[k] = false;
        player->Stop();
        // The first player goes back to the cue it was loaded with, so that a run that was
        // stopped part-way still sounds that cue when resumed.
        const QString cue = m_cueBank->slotFile(phase, 0);
        if (!cue.isEmpty() && player->FileName() != cue)
            player->Open(cue);
        refreshPlayerViews();
        return;
    }
    platform::Query* q = cueQuery(phase);
    if (!q || !q->Active() || q->RecordCount() == 0)
        return;
    m_testPlaying[k] = true;
    if (!player->Open(q->FieldByName(QStringLiteral("mname"))->AsString()) || !player->Play())
        asker().inform(QString(), QStringLiteral("指定したファイルは既にロードされています。"));
    refreshPlayerViews();
}

void TFtaikai::pickCueFile(CuePhase phase)
{
    // A dialog of its own for each pick (a dialog keeps the file last chosen in it, which for a
    // column whose box is empty would be another column's file, one this column cannot
    // register), destroyed as soon as the pick ends, and with it every window it made: the name
    // box's completion list, a window of its own (its completer deletes it), would otherwise come
    // up over the console once the folder has been read, take the next click and pass the keys
    // after it to the cue's box.
    static platform::FileDialogFolder soundFolder;
    QString picked;
    {
        QFileDialog dialog(this, QString());
        OD1 = &dialog;
        const auto forget = qScopeGuard([this] { OD1 = nullptr; });
        dialog.setObjectName(QStringLiteral("OD1"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(
            { QStringLiteral("wavファイル (*.wav *.wma)"), QStringLiteral("すべてのファイル (*)") });
        // Sound files are usually kept together: each pick starts where the last one was made.
        dialog.setDirectory(soundFolder.folder());
        const QString current = CueFiles[index(phase)]->text();
        if (!current.isEmpty())
            dialog.selectFile(current);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            picked = dialog.selectedFiles().constFirst();
    }
    if (picked.isEmpty())
        return;
    CueFiles[index(phase)]->setText(picked);
    soundFolder.remember(picked);
}

void TFtaikai::CuteButton3Click() { registerCue(CuePhase::Warm); }
void TFtaikai::CuteButton4Click() { registerCue(CuePhase::Race); }
void TFtaikai::CuteButton6Click() { registerCue(CuePhase::Over); }
void TFtaikai::CuteButton24Click() { registerCue(CuePhase::Interval); }
void TFtaikai::DBGrid1DblClick() { takeGridRow(CuePhase::Warm); }
void TFtaikai::DBGrid2DblClick() { takeGridRow(CuePhase::Race); }
void TFtaikai::DBGrid3DblClick() { takeGridRow(CuePhase::Over); }
void TFtaikai::DBGrid5DblClick() { takeGridRow(CuePhase::Interval); }
void TFtaikai::MenuItem1Click() { deleteGridRow(CuePhase::Warm); }
void TFtaikai::MenuItem2Click() { deleteGridRow(CuePhase::Race); }
void TFtaikai::MenuItem3Click() { deleteGridRow(CuePhase::Over); }
void TFtaikai::N1Click() { deleteGridRow(CuePhase::Interval); }
void TFtaikai::CuteButton7Click() { testPlay(CuePhase::Warm); }
void TFtaikai::CuteButton8Click() { testPlay(CuePhase::Race); }
void TFtaikai::CuteButton9Click() { testPlay(CuePhase::Over); }
void TFtaikai::CuteButton25Click() { testPlay(CuePhase::Interval); }
void TFtaikai::Open1Click() { pickCueFile(CuePhase::Warm); }
void TFtaikai::Open2Click() { pickCueFile(CuePhase::Race); }
void TFtaikai::Open3Click() { pickCueFile(CuePhase::Over); }
void TFtaikai::N2Click() { pickCueFile(CuePhase::Interval); }

void TFtaikai::CuteButton10Click()
{
    // Every sounding player stops, test plays included; a test button then plays again at once.
    m_cueBank->stopAll();
    for (CuePhase phase : AllCuePhases)
        if (m_testPlaying[index(phase)])
            testPlay(phase);
}

void TFtaikai::CuteButton23Click()
{
    for (const auto& players : { firstPlayers(MP, 10), firstPlayers(MPt, 10), firstPlayers(MPo, 5) }) {
        for (CuePlayer* player : players) {
            if (player->FileName().isEmpty())
                continue;
            player->Play();
            m_dev.sleeper->sleep(500);
            player->Stop();
        }
    }
}

void TFtaikai::EddelayExit()
{
    bool ok = false;
    const int value = Eddelay->text().trimmed().toInt(&ok);
    if (ok)
        DelaySetting = value;
    else
        Eddelay->setText(QString::number(DelaySetting));
}

void TFtaikai::EddelayDblClick() { PageControl1->setTabVisible(PageControl1->indexOf(TabSheet3), true); }

} // namespace console
