#include "app/DBControls.h"

#include "platform/Asker.h"
#include "platform/DataSet.h"
#include "platform/DataSetModel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QToolButton>

namespace {

// The data-set model with per-column title alignment, which the grids set column by column.
class GridModel : public platform::DataSetModel {
public:
    GridModel(platform::DataSource* source, QObject* parent)
        : platform::DataSetModel(source, parent)
    {
    }
    std::vector<Qt::Alignment> titleAlignment;

    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (o == Qt::Horizontal && role == Qt::TextAlignmentRole && section >= 0
            && section < int(titleAlignment.size()))
            return QVariant::fromValue(titleAlignment[size_t(section)]);
        return platform::DataSetModel::headerData(section, o, role);
    }
};

} // namespace

TDBGrid::TDBGrid(platform::DataSource* source, QWidget* parent)
    : QTableView(parent)
    , m_model(new GridModel(source, this))
{
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
        | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(18);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setFixedHeight(20);

    connect(
        selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
            if (current.isValid())
                m_model->setCurrentRow(current.row());
        });
    connect(m_model, &platform::DataSetModel::currentRowChanged, this, [this] { followCursor(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        for (size_t i = 0; i < m_columns.size(); ++i)
            setColumnWidth(int(i), m_columns[i].Width);
        followCursor();
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid())
            return;
        m_model->setCurrentRow(index.row());
        if (OnDblClick)
            OnDblClick();
    });
}

TDBGrid::~TDBGrid() = default;

platform::DataSet* TDBGrid::DataSet() const { return m_model->dataSet(); }

void TDBGrid::setColumns(const std::vector<TColumn>& columns)
{
    m_columns = columns;
    QStringList fields, titles;
    auto& alignment = static_cast<GridModel*>(m_model)->titleAlignment;
    alignment.clear();
    for (const TColumn& c : columns) {
        fields << c.FieldName;
        titles << c.Title;
        alignment.push_back(c.TitleAlignment);
    }
    m_model->setColumns(fields, titles); // resets the model, which sets the widths
}

void TDBGrid::followCursor()
{
    const int row = m_model->currentRow();
    if (row < 0 || row >= m_model->rowCount()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex now = currentIndex();
    if (now.isValid() && now.row() == row)
        return;
    const QModelIndex target = m_model->index(row, now.isValid() ? now.column() : 0);
    selectionModel()->setCurrentIndex(
        target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(target);
}

// ---- TDBNavigator -----------------------------------------------------------------------------

namespace {

struct NavigatorButtonLook {
    TNavigateBtn button;
    const char* glyph;
    const char* hint;
};

const NavigatorButtonLook kNavigatorButtons[] = {
    { TNavigateBtn::nbFirst, "|◀", "先頭" },
    { TNavigateBtn::nbPrior, "◀", "前" },
    { TNavigateBtn::nbNext, "▶", "次" },
    { TNavigateBtn::nbLast, "▶|", "最後" },
    { TNavigateBtn::nbPost, "✔", "保存" },
};

} // namespace

TDBNavigator::TDBNavigator(
    platform::DataSource* source, const std::vector<TNavigateBtn>& buttons, QWidget* parent)
    : QWidget(parent)
    , m_source(source)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const TNavigateBtn b : buttons) {
        for (const NavigatorButtonLook& look : kNavigatorButtons) {
            if (look.button != b)
                continue;
            auto* button = new QToolButton(this);
            button->setText(QString::fromUtf8(look.glyph));
            button->setToolTip(QString::fromUtf8(look.hint));
            button->setFocusPolicy(Qt::NoFocus);
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            layout->addWidget(button);
            connect(button, &QToolButton::clicked, this, [this, b] { BtnClick(b); });
            m_buttons.emplace_back(b, button);
        }
    }

    // Follow whichever data set the source points at.
    auto follow = [this] {
        platform::DataSet* ds = m_source ? m_source->dataSet() : nullptr;
        if (ds) {
            connect(ds, &platform::DataSet::opened, this, &TDBNavigator::updateButtons, Qt::UniqueConnection);
            connect(ds, &platform::DataSet::closed, this, &TDBNavigator::updateButtons, Qt::UniqueConnection);
            connect(ds, &platform::DataSet::rowsChanged, this, &TDBNavigator::updateButtons,
                Qt::UniqueConnection);
            connect(ds, &platform::DataSet::currentChanged, this, &TDBNavigator::updateButtons,
                Qt::UniqueConnection);
        }
        updateButtons();
    };
    if (m_source)
        connect(m_source, &platform::DataSource::dataSetChanged, this, follow);
    follow();
}

QToolButton* TDBNavigator::Button(TNavigateBtn button) const
{
    for (const auto& [b, widget] : m_buttons)
        if (b == button)
            return widget;
    return nullptr;
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    platform::DataSet* ds = m_source ? m_source->dataSet() : nullptr;
    if (!ds || !ds->Active())
        return;
    try {
        switch (button) {
        case TNavigateBtn::nbFirst:
            ds->First();
            break;
        case TNavigateBtn::nbPrior:
            ds->Prior();
            break;
        case TNavigateBtn::nbNext:
            ds->Next();
            break;
        case TNavigateBtn::nbLast:
            ds->Last();
            break;
        case TNavigateBtn::nbPost:
            if (ds->State() == platform::DataSetState::Edit || ds->State() == platform::DataSetState::Insert)
                ds->Post();
            break;
        }
    } catch (const platform::DatabaseError& e) {
        platform::showError(e.message());
    }
    updateButtons();
}

void TDBNavigator::updateButtons()
{
    platform::DataSet* ds = m_source ? m_source->dataSet() : nullptr;
    const bool active = ds && ds->Active();
    const bool rows = active && ds->RecordCount() > 0;
    const bool editing = active
        && (ds->State() == platform::DataSetState::Edit || ds->State() == platform::DataSetState::Insert);
    for (const auto& [b, widget] : m_buttons) {
        switch (b) {
        case TNavigateBtn::nbFirst:
        case TNavigateBtn::nbPrior:
            widget->setEnabled(rows && ds->RecNo() > 1);
            break;
        case TNavigateBtn::nbNext:
        case TNavigateBtn::nbLast:
            widget->setEnabled(rows && ds->RecNo() < ds->RecordCount());
            break;
        case TNavigateBtn::nbPost:
            widget->setEnabled(editing);
            break;
        }
    }
}

// ---- TDBMemo ----------------------------------------------------------------------------------

TDBMemo::TDBMemo(platform::DataSource* source, QString fieldName, QWidget* parent)
    : QPlainTextEdit(parent)
    , m_source(source)
    , m_field(std::move(fieldName))
{
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            store();
    });
    if (m_source)
        connect(m_source, &platform::DataSource::dataSetChanged, this, [this] { follow(); });
    follow();
}

void TDBMemo::follow()
{
    if (m_followed)
        disconnect(m_followed, nullptr, this, nullptr);
    m_followed = m_source ? m_source->dataSet() : nullptr;
    if (m_followed) {
        for (auto signal : { &platform::DataSet::opened, &platform::DataSet::closed,
                 &platform::DataSet::rowsChanged, &platform::DataSet::currentChanged })
            connect(m_followed, signal, this, [this] { Load(); });
    }
    Load();
}

platform::DataSet* TDBMemo::boundRow() const
{
    platform::DataSet* ds = m_followed;
    if (!ds || !ds->Active() || ds->RecNo() == 0 || !ds->FindField(m_field))
        return nullptr;
    return ds;
}

void TDBMemo::Load()
{
    platform::DataSet* ds = boundRow();
    setReadOnly(!ds);
    const QString text = ds ? ds->FindField(m_field)->AsString() : QString();
    // The row's value changes with every keystroke too: only a different text is shown, so that
    // the cursor and the undo history stay while the operator types.
    if (text == toPlainText())
        return;
    m_loading = true;
    setPlainText(text);
    m_loading = false;
}

void TDBMemo::store()
{
    platform::DataSet* ds = boundRow();
    if (!ds)
        return;
    try {
        if (ds->State() == platform::DataSetState::Browse)
            ds->Edit();
        ds->FieldByName(m_field)->SetAsString(toPlainText());
    } catch (const platform::DatabaseError& e) {
        platform::showError(e.message());
    }
}

void TDBMemo::post()
{
    platform::DataSet* ds = m_followed;
    if (ds && ds->Active()
        && (ds->State() == platform::DataSetState::Edit || ds->State() == platform::DataSetState::Insert))
        ds->Post();
}
