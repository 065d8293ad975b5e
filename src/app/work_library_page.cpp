#include "app/work_library_page.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "admin/common.h"
#include "app/pictures.h"
#include "app/shell_texts.h"
#include "app/xml_window.h"
#include "base/text.h"
#include "devices/parameter_model.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace {

constexpr const char* kRootText = "Библиотека заданий";
constexpr const char* kAddWorkHint = "Добавить новое задание";
constexpr const char* kAddTaskHint = "Добавить новый запрос";
constexpr const char* kDeleteHint = "Удалить выбранный объект";
constexpr const char* kNewWork = "Новое задание";
constexpr const char* kNewTask = "Новый запрос";
constexpr const char* kEditWork = "Задание (редактировать)";
constexpr const char* kEditTask = "Запрос (редактировать)";
constexpr const char* kTargets[] = {"Текущее значение параметра", "Архивные значения параметра"};
constexpr int kZarnicPage = 0;

const Picture kImages[] = {Picture::Folder, Picture::Work, Picture::WorkWithTasks, Picture::Task};

// The window's texts end lines with LF; the system's texts with CR LF.
std::string SystemText(const QString& text) {
    return base::ReplaceAll(S(text), "\n", "\r\n");
}

QComboBox* IntervalCodeList(const QString& name, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    for (const std::string& code : work::IntervalCodes()) {
        list->addItem(Q(code));
    }
    list->setCurrentText("DAY");
    return list;
}

QSpinBox* FactorSpin(const QString& name, int max, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(max == 99 ? 0 : 1, max);
    spin->setValue(1);
    return spin;
}

void SetItems(QComboBox* list, const std::vector<std::string>& items, int index) {
    list->clear();
    for (const std::string& item : items) {
        list->addItem(Q(item));
    }
    list->setCurrentIndex(index);
}

RegisterTexts LibraryTexts() {
    RegisterTexts texts;
    texts.caption = texts::kLibrary;
    texts.prompt = texts::kPromptLibrary;
    texts.addHint = kAddWorkHint;
    texts.deleteHint = kDeleteHint;
    texts.rootText = kRootText;
    texts.editHeader = kEditWork;
    texts.newHeader = kNewWork;
    return texts;
}

}  // namespace

WorkLibraryPage::WorkLibraryPage(QWidget* parent)
    : RegisterPage(LibraryTexts(), "WorkLib", parent),
      editor_(std::make_unique<work::ZarnicEditor>(work::CatalogueGroups())) {
    addTask_ = frame()->AddToolButton("ToolButtonWorkLibAddTask", kAddTaskHint, "++",
                                      PictureIcon(Picture::Task));
    showXml_ = frame()->AddButton("ButtonWorkLibShowXML", "ShowXML");
    panels_ = new QStackedWidget(frame()->form);
    workPanel_ = BuildWorkPanel();
    taskPanel_ = BuildTaskPanel();
    panels_->addWidget(workPanel_);
    panels_->addWidget(taskPanel_);
    Form()->addWidget(panels_, 1);

    connect(addTask_, &QToolButton::clicked, this, &WorkLibraryPage::AddTask);
    connect(showXml_, &QPushButton::clicked, this, &WorkLibraryPage::ShowXml);
    ConnectZarnicPage();
    addTask_->setEnabled(false);
    frame()->saveButton->setEnabled(false);
}

QWidget* WorkLibraryPage::BuildWorkPanel() {
    auto* panel = new QWidget(panels_);
    panel->setObjectName("PanelWorkLibWork");
    auto* layout = new QVBoxLayout(panel);
    auto* fields = new QFormLayout();
    workName_ = new QLineEdit(panel);
    workName_->setObjectName("EditWorkLibName");
    fields->addRow("Название", workName_);
    layout->addLayout(fields);

    auto* type = new QGroupBox("Тип задания", panel);
    type->setObjectName("RadioGroupWorkLibType");
    auto* typeLayout = new QHBoxLayout(type);
    single_ = new QRadioButton("Однократное", type);
    single_->setObjectName("RadioButtonWorkLibSingle");
    periodic_ = new QRadioButton("Периодическое", type);
    periodic_->setObjectName("RadioButtonWorkLibPeriodic");
    single_->setChecked(true);
    typeLayout->addWidget(single_);
    typeLayout->addWidget(periodic_);
    typeLayout->addStretch(1);
    layout->addWidget(type);

    periodGroup_ = new QGroupBox("Интервал исполнения", panel);
    periodGroup_->setObjectName("GroupBoxWorkLibPeriod");
    auto* periodLayout = new QFormLayout(periodGroup_);
    periodFactor_ = FactorSpin("SpinEditWorkLibPeriod", 60, periodGroup_);
    periodCode_ = IntervalCodeList("ComboBoxWorkLibPeriod", periodGroup_);
    periodLayout->addRow("Множитель", periodFactor_);
    periodLayout->addRow("Единица", periodCode_);
    NameField(periodFactor_, "Интервал исполнения: множитель");
    NameField(periodCode_, "Интервал исполнения: единица");
    periodGroup_->hide();
    layout->addWidget(periodGroup_);

    auto* duration = new QFormLayout();
    durationFactor_ = FactorSpin("SpinEditWorkLibDuration", 60, panel);
    durationCode_ = IntervalCodeList("ComboBoxWorkLibDuration", panel);
    auto* durationRow = new QHBoxLayout();
    durationRow->addWidget(durationFactor_);
    durationRow->addWidget(durationCode_);
    durationRow->addStretch(1);
    auto* durationLabel =
        new QLabel("Общая продолжительность исполнения задания, не более:", panel);
    durationLabel->setBuddy(durationFactor_);
    durationCode_->setAccessibleName("Единица продолжительности");
    duration->addRow(durationLabel, durationRow);
    layout->addLayout(duration);
    layout->addStretch(1);

    connect(periodic_, &QRadioButton::toggled, periodGroup_, &QWidget::setVisible);
    return panel;
}

QWidget* WorkLibraryPage::BuildTaskPanel() {
    auto* panel = new QWidget(panels_);
    panel->setObjectName("PanelWorkLibTask");
    auto* layout = new QVBoxLayout(panel);
    syntaxPages_ = new QTabWidget(panel);
    syntaxPages_->setObjectName("PageControlWorkLibTask");
    syntaxPages_->setAccessibleName("Синтаксис запроса");
    syntaxPages_->addTab(BuildZarnicPage(), Q(std::string(work::kSyntaxZarnic)));
    syntaxPages_->addTab(BuildFreePage(Q(std::string(work::kSyntaxM200)), m200_),
                         Q(std::string(work::kSyntaxM200)));
    syntaxPages_->addTab(BuildFreePage(Q(std::string(work::kSyntaxM230)), m230_),
                         Q(std::string(work::kSyntaxM230)));
    layout->addWidget(syntaxPages_, 1);
    auto* attempts = new QFormLayout();
    attempts_ = FactorSpin("SpinEditWorkLibAttempts", 99, panel);
    attempts_->setValue(3);
    attempts->addRow("Попыток, не более:", attempts_);
    layout->addLayout(attempts);
    return panel;
}

QWidget* WorkLibraryPage::BuildZarnicPage() {
    auto* page = new QWidget(syntaxPages_);
    page->setObjectName("TabSheetWorkLibZARNIC");
    auto* pageLayout = new QVBoxLayout(page);
    missingVariable_ = new QLabel(page);
    missingVariable_->setObjectName("LabelWorkLibMissingVar");
    missingVariable_->setWordWrap(true);
    missingVariable_->setStyleSheet("color: #b54a3c; font-weight: bold;");
    missingVariable_->hide();
    pageLayout->addWidget(missingVariable_);

    zarnicFields_ = new QWidget(page);
    auto* layout = new QVBoxLayout(zarnicFields_);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* choices = new QFormLayout();
    group_ = new QComboBox(zarnicFields_);
    group_->setObjectName("ComboBoxWorkLibGroup");
    variable_ = new QComboBox(zarnicFields_);
    variable_->setObjectName("ComboBoxWorkLibVar");
    target_ = new QComboBox(zarnicFields_);
    target_->setObjectName("ComboBoxWorkLibTarget");
    for (const char* item : kTargets) {
        target_->addItem(Q(item));
    }
    action_ = new QComboBox(zarnicFields_);
    action_->setObjectName("ComboBoxWorkLibAction");
    choices->addRow("Группа:", group_);
    choices->addRow("Название параметра:", variable_);
    choices->addRow("Цель запроса", target_);
    choices->addRow("Действие", action_);
    layout->addLayout(choices);

    newValueGroup_ = new QGroupBox("Новое значение параметра", zarnicFields_);
    newValueGroup_->setObjectName("GroupBoxWorkLibNewValue");
    auto* newValueLayout = new QVBoxLayout(newValueGroup_);
    newValue_ = new QPlainTextEdit(newValueGroup_);
    newValue_->setObjectName("MemoWorkLibNewValue");
    newValue_->setAccessibleName("Новое значение параметра");
    newValue_->setPlainText("0");
    newValueLayout->addWidget(newValue_);
    layout->addWidget(newValueGroup_);

    archiveGroup_ = new QGroupBox("Аргументы архивного чтения", zarnicFields_);
    archiveGroup_->setObjectName("GroupBoxWorkLibArchive");
    auto* archiveLayout = new QFormLayout(archiveGroup_);
    archiveType_ = new QComboBox(archiveGroup_);
    archiveType_->setObjectName("ComboBoxWorkLibArcType");
    start_ = new QLineEdit("DAY-1", archiveGroup_);
    start_->setObjectName("EditWorkLibStart");
    stop_ = new QLineEdit("DAY", archiveGroup_);
    stop_->setObjectName("EditWorkLibStop");
    archiveLayout->addRow("Тип архива", archiveType_);
    archiveLayout->addRow("Начало интервала чтения:", start_);
    archiveLayout->addRow("Конец интервала чтения:", stop_);
    accumulationGroup_ = new QGroupBox("Интервал накопления", archiveGroup_);
    accumulationGroup_->setObjectName("GroupBoxWorkLibAccumulation");
    auto* accumulationLayout = new QFormLayout(accumulationGroup_);
    accumulationCode_ = IntervalCodeList("ComboBoxWorkLibAccumulation", accumulationGroup_);
    accumulationFactor_ = FactorSpin("SpinEditWorkLibAccumulation", 60, accumulationGroup_);
    accumulationLayout->addRow("Единица", accumulationCode_);
    accumulationLayout->addRow("Множитель", accumulationFactor_);
    NameField(accumulationCode_, "Интервал накопления: единица");
    NameField(accumulationFactor_, "Интервал накопления: множитель");
    archiveLayout->addRow(accumulationGroup_);
    layout->addWidget(archiveGroup_);
    layout->addStretch(1);
    pageLayout->addWidget(zarnicFields_, 1);
    return page;
}

QWidget* WorkLibraryPage::BuildFreePage(const QString& syntax, FreeRequestFields& fields) {
    const QString suffix = QString(syntax).remove('-');
    auto* page = new QWidget(syntaxPages_);
    page->setObjectName("TabSheetWorkLib" + suffix);
    auto* layout = new QFormLayout(page);
    fields.name = new QLineEdit(page);
    fields.name->setObjectName("EditWorkLib" + suffix + "Name");
    fields.value = new QPlainTextEdit(page);
    fields.value->setObjectName("MemoWorkLib" + suffix + "Value");
    layout->addRow("Название параметра", fields.name);
    layout->addRow("Значение", fields.value);
    // The syntax tells the pages' fields apart.
    NameField(fields.name, syntax + ": Название параметра");
    NameField(fields.value, syntax + ": Значение");
    return page;
}

void WorkLibraryPage::ConnectZarnicPage() {
    connect(group_, &QComboBox::activated, this,
            [this](int index) { OnZarnicChange([&] { editor_->ChangeGroup(index); }); });
    connect(variable_, &QComboBox::activated, this,
            [this](int index) { OnZarnicChange([&] { editor_->ChangeVariable(index); }); });
    connect(target_, &QComboBox::activated, this,
            [this](int index) { OnZarnicChange([&] { editor_->ChangeTarget(index == 1); }); });
    connect(action_, &QComboBox::activated, this,
            [this](int index) { OnZarnicChange([&] { editor_->ChangeAction(index); }); });
    connect(archiveType_, &QComboBox::activated, this,
            [this](int index) { OnZarnicChange([&] { editor_->ChangeArchiveType(index); }); });
    // Typed fields go straight into the page's state.
    connect(newValue_, &QPlainTextEdit::textChanged, this,
            [this] { editor_->fields().newValue = SystemText(newValue_->toPlainText()); });
    connect(start_, &QLineEdit::textChanged, this,
            [this](const QString& text) { editor_->fields().start = S(text); });
    connect(stop_, &QLineEdit::textChanged, this,
            [this](const QString& text) { editor_->fields().stop = S(text); });
    connect(accumulationFactor_, &QSpinBox::valueChanged, this,
            [this](int value) { editor_->fields().accumulationFactor = value; });
    connect(accumulationCode_, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { editor_->fields().accumulationCode = S(text); });
}

template <class Change>
void WorkLibraryPage::OnZarnicChange(Change&& change) {
    change();
    ShowZarnicPage();
}

void WorkLibraryPage::ShowZarnicPage() {
    const work::ZarnicPage& page = editor_->page();
    const QSignalBlocker blockers[] = {QSignalBlocker(group_),
                                       QSignalBlocker(variable_),
                                       QSignalBlocker(target_),
                                       QSignalBlocker(action_),
                                       QSignalBlocker(newValue_),
                                       QSignalBlocker(archiveType_),
                                       QSignalBlocker(start_),
                                       QSignalBlocker(stop_),
                                       QSignalBlocker(accumulationFactor_),
                                       QSignalBlocker(accumulationCode_)};
    const bool missing = !page.missingVariable.empty();
    missingVariable_->setVisible(missing);
    missingVariable_->setText(
        Q("Параметр \"" + page.missingVariable +
          "\" отсутствует в каталоге описаний счётчиков; запрос можно только удалить."));
    zarnicFields_->setVisible(!missing);

    group_->setCurrentIndex(page.group);
    std::vector<std::string> captions;
    for (const devices::TVar* var : page.variables) {
        captions.push_back(work::VariableCaption(*var));
    }
    SetItems(variable_, captions, page.variable);
    target_->setCurrentIndex(page.archiveTarget ? 1 : 0);
    target_->setEnabled(page.targetEnabled);
    SetItems(action_, page.actions, page.action);
    action_->setEnabled(page.actionEnabled);
    newValueGroup_->setVisible(page.newValueShown);
    newValue_->setPlainText(DisplayText(page.newValue));
    archiveGroup_->setVisible(page.archiveShown);
    SetItems(archiveType_, page.archiveTypes, page.archiveType);
    archiveType_->setEnabled(page.archiveTypeEnabled);
    accumulationGroup_->setVisible(page.accumulationShown);
    accumulationFactor_->setValue(page.accumulationFactor);
    accumulationCode_->setCurrentText(Q(page.accumulationCode));
    start_->setText(Q(page.start));
    stop_->setText(Q(page.stop));
}

bool WorkLibraryPage::WorkPanelShown() const {
    return !frame()->PromptShown() && panels_->currentWidget() == workPanel_;
}

bool WorkLibraryPage::TaskPanelShown() const {
    return !frame()->PromptShown() && panels_->currentWidget() == taskPanel_;
}

void WorkLibraryPage::ShowPanel(QWidget* panel, const char* header) {
    frame()->header->setText(Q(header));
    frame()->header->setPicture(
        PicturePixmap(panel == workPanel_ ? Picture::Work : Picture::Task, 32));
    panels_->setCurrentWidget(panel);
    frame()->ShowAttributes();
}

void WorkLibraryPage::SetImage(QTreeWidgetItem* item, int image) {
    item->setData(0, kImageRole, image);
    item->setIcon(0, PictureIcon(kImages[image]));
}

void WorkLibraryPage::Load() {
    Guarded([this] {
        // The catalogue is read after the window is built: its groups are taken here.
        editor_ = std::make_unique<work::ZarnicEditor>(work::CatalogueGroups());
        const QSignalBlocker block(group_);
        group_->clear();
        for (const work::CatalogueGroup& group : editor_->groups()) {
            group_->addItem(Q(group.name));
        }
    });
    RegisterPage::Load();
    frame()->saveButton->setEnabled(false);
}

void WorkLibraryPage::FillTree(QTreeWidgetItem* root) {
    SetImage(root, 0);
    for (const work::LibraryWork& work : work::LoadWorkLibrary(storage::Database())) {
        QTreeWidgetItem* node = frame()->AddChild(root, work.node.text, work.node.uid, {});
        SetImage(node, work.tasks.empty() ? 1 : 2);
        for (const work::LibraryNode& task : work.tasks) {
            SetImage(frame()->AddChild(node, task.text, task.uid, {}), 3);
        }
    }
}

void WorkLibraryPage::EnableTools(const QTreeWidgetItem* item) {
    const int level = Level(item);
    frame()->addButton->setEnabled(level == 0);
    addTask_->setEnabled(level == 1);
    frame()->deleteButton->setEnabled(level > 0);
}

void WorkLibraryPage::ShowRecord(int64_t uid) {
    const int level = Level(Chosen());
    if (uid != 0) {
        ShowStored(level, uid);
    } else if (level == 1) {
        ShowNewTask();
    } else {
        ShowNewWork();
    }
}

void WorkLibraryPage::ShowStored(int level, int64_t uid) {
    auto& db = storage::Database();
    xmlText_ =
        (level == 1 ? work::ReadWorkXmlText(db, uid) : work::ReadTaskXmlText(db, uid)).value_or("");
    int64_t& edited = level == 1 ? editedWork_ : editedTask_;
    if (uid != edited) {
        if (level == 1) {
            LoadWorkFields(xmlText_);
        } else {
            LoadTaskFields(xmlText_);
        }
    }
    ShowPanel(level == 1 ? workPanel_ : taskPanel_, level == 1 ? kEditWork : kEditTask);
    edited = uid;
    (level == 1 ? editedTask_ : editedWork_) = 0;
}

void WorkLibraryPage::ShowNewWork() {
    workName_->setText(Q(kNewWork));
    workName_->selectAll();
    single_->setChecked(true);
    durationFactor_->setValue(1);
    durationCode_->setCurrentText("DAY");
    xmlText_ = work::BuildWorkXml(ReadWorkFields());
    ShowPanel(workPanel_, kNewWork);
    workName_->setFocus();
}

void WorkLibraryPage::AddTask() {
    StartAdding(addTask_);
}

void WorkLibraryPage::ShowNewTask() {
    editor_->Reset();
    attempts_->setValue(3);
    ShowZarnicPage();
    syntaxPages_->setCurrentIndex(kZarnicPage);
    ShowPanel(taskPanel_, kNewTask);
    group_->setFocus();
    // A request that cannot be built yet has no XML; save says why.
    try {
        xmlText_ = work::BuildTaskXml(ReadTaskFields());
    } catch (const std::out_of_range&) {
        xmlText_.clear();
    }
}

work::WorkDefinition WorkLibraryPage::ReadWorkFields() const {
    return {S(workName_->text()), periodic_->isChecked(),
            work::FactorText(periodFactor_->value(), S(periodCode_->currentText())),
            work::FactorText(durationFactor_->value(), S(durationCode_->currentText()))};
}

void WorkLibraryPage::LoadWorkFields(const std::string& xml) {
    const work::StoredWork stored = work::ReadWorkXml(xml);
    workName_->setText(Q(stored.name));
    single_->setChecked(true);
    if (stored.Periodic()) {
        periodic_->setChecked(true);
        const work::FactorCode period = work::SplitPeriod(stored.period);
        periodFactor_->setValue(period.factor.value_or(1));
        periodCode_->setCurrentIndex(periodCode_->findText(Q(period.code)));
    }
    const work::FactorCode duration = work::SplitDuration(stored.durationMax);
    if (duration.factor) {
        durationFactor_->setValue(*duration.factor);
    }
    durationCode_->setCurrentIndex(durationCode_->findText(Q(duration.code)));
    periodGroup_->setVisible(stored.Periodic());
}

work::TaskRequest WorkLibraryPage::ReadTaskFields() const {
    const int page = syntaxPages_->currentIndex();
    if (page == kZarnicPage) {
        return editor_->Build(attempts_->value());
    }
    const FreeRequestFields& fields = page == 1 ? m200_ : m230_;
    work::TaskRequest task;
    task.syntax = std::string(page == 1 ? work::kSyntaxM200 : work::kSyntaxM230);
    task.var = S(fields.name->text());
    task.value = SystemText(fields.value->toPlainText());
    task.maxAttempts = attempts_->value();
    return task;
}

void WorkLibraryPage::LoadTaskFields(const std::string& xml) {
    const work::StoredTask stored = work::ReadTaskXml(xml);
    attempts_->setValue(stored.maxAttempts);
    if (stored.syntax == work::kSyntaxM200 || stored.syntax == work::kSyntaxM230) {
        const bool m200 = stored.syntax == work::kSyntaxM200;
        FreeRequestFields& fields = m200 ? m200_ : m230_;
        fields.name->setText(Q(stored.var));
        fields.value->setPlainText(DisplayText(stored.value));
        syntaxPages_->setCurrentIndex(m200 ? 1 : 2);
    } else if (stored.syntax == work::kSyntaxZarnic) {
        editor_->Load(stored);
        ShowZarnicPage();
        syntaxPages_->setCurrentIndex(kZarnicPage);
    }
}

std::optional<RegisterPage::Node> WorkLibraryPage::StoreRecord(int64_t uid) {
    auto& db = storage::Database();
    if (WorkPanelShown()) {
        const work::RowTexts row = work::WorkRow(ReadWorkFields());
        xmlText_ = row.xml;
        const std::string text = work::NodeText(row.name, row.comment);
        if (uid == 0) {
            return Node{text, work::InsertWork(db, row), {}};
        }
        work::UpdateWork(db, uid, row);
        return Node{text, uid, {}};
    }
    const work::RowTexts row = work::TaskRow(ReadTaskFields());
    xmlText_ = row.xml;
    const std::string text = work::NodeText(row.name, row.comment);
    if (uid != 0) {
        work::UpdateTask(db, uid, row);
        return Node{text, uid, {}};
    }
    // A new request goes under the chosen work.
    if (Level(Chosen()) != 1) {
        return std::nullopt;
    }
    return Node{text, work::InsertTask(db, UidOf(Chosen()), row), {}};
}

QTreeWidgetItem* WorkLibraryPage::PlaceNewNode(const Node& node) {
    if (WorkPanelShown()) {
        QTreeWidgetItem* item = frame()->AddChild(frame()->Root(), node.text, node.uid, {});
        SetImage(item, 1);
        return item;
    }
    // The new request is shown under its work, which is then selected.
    QTreeWidgetItem* work = Chosen();
    SetImage(frame()->AddChild(work, node.text, node.uid, {}), 3);
    SetImage(work, 2);
    work->setExpanded(true);
    return work;
}

bool WorkLibraryPage::DeleteRecord(int64_t uid) {
    if (Level(Chosen()) == 1) {
        work::DeleteWork(storage::Database(), uid);
    } else {
        work::DeleteTask(storage::Database(), uid);
    }
    return true;
}

QTreeWidgetItem* WorkLibraryPage::NodeAfterDelete(QTreeWidgetItem* parent, int position) {
    const int left = parent->childCount();
    if (Level(parent) == 1 && left == 0) {
        SetImage(parent, 1);
    }
    // The node now at the deleted one's place, the last sibling, or the parent.
    return left == 0 ? parent : parent->child(std::min(position, left - 1));
}

void WorkLibraryPage::ForgetRecord() {
    addTask_->setEnabled(false);
    // Leaving a row drops what was typed: the next click on a node reads it afresh.
    editedWork_ = 0;
    editedTask_ = 0;
}

void WorkLibraryPage::ShowXml() {
    Guarded([this] {
        if (WorkPanelShown()) {
            xmlText_ = work::BuildWorkXml(ReadWorkFields());
        } else if (TaskPanelShown()) {
            xmlText_ = work::BuildTaskXml(ReadTaskFields());
        }
        ShowXmlWindow(this, Q(texts::kLibrary), Q(xmlText_));
    });
}

}  // namespace zb::app
