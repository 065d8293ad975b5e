#include "app/concentrators_page.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QUrl>
#include <QVBoxLayout>
#include <set>

#include "admin/concentrators.h"
#include "app/pictures.h"
#include "base/program.h"
#include "link/link_server.h"
#include "link/mirror.h"
#include "server/runtime.h"
#include "storage/sqlite_database.h"

namespace zb::app {

namespace ct = admin::ctr_texts;

// On a concentrator node: whether its icon shows the connected mark.
constexpr int kConnectedRole = Qt::UserRole + 1;

SpinButton::SpinButton(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const bool up : {true, false}) {
        auto* button = new QToolButton(this);
        button->setObjectName(name + (up ? "Up" : "Down"));
        button->setAccessibleName(up ? "ID +1" : "ID -1");
        button->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
        button->setFixedSize(20, 13);
        layout->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, up] { emit stepped(up); });
    }
}

ConcentratorsPage::ConcentratorsPage(server::Runtime& runtime, QWidget* parent)
    : RegisterPage({ct::kCaption, ct::kPrompt, ct::kAddHint, ct::kDeleteHint, ct::kRoot,
                    ct::kHeaderEdit, ct::kHeaderNew},
                   "AdminCtr", parent),
      runtime_(runtime) {
    frame()->prompt->setObjectName("PanelAdminCtrShadow");
    frame()->header->setPicture(PicturePixmap(Picture::Concentrator, 32));

    auto* form = Form();

    auto* own = new QGroupBox(Q(ct::kOperatorGroup), frame()->form);
    own->setObjectName("GroupBoxAdminCtrOperator");
    auto* grid = new QGridLayout(own);
    grid->setColumnStretch(1, 1);
    id_ = new QLineEdit(own);
    id_->setObjectName("LabeledEditAdminCtrID");
    id_->setMaximumWidth(120);
    spin_ = new SpinButton("SpinButtonAdminCtrID", own);
    auto* idRow = new QHBoxLayout();
    idRow->setSpacing(2);
    idRow->addWidget(id_);
    idRow->addWidget(spin_);
    idRow->addStretch(1);
    comment_ = new QLineEdit(own);
    comment_->setObjectName("LabeledEditAdminCtrComment");
    password_ = new QLineEdit(own);
    password_->setObjectName("LabeledEditAdminCtrPassword");
    lastIp_ = new QLineEdit(own);
    lastIp_->setObjectName("LabeledEditAdminCtrLastIP");
    lastIp_->setReadOnly(true);
    lastIp_->setMaximumWidth(200);
    connect_ = new QPushButton("Open", own);
    connect_->setObjectName("ButtonAdminCtrConnect");
    auto* ipRow = new QHBoxLayout();
    ipRow->addWidget(lastIp_);
    ipRow->addWidget(connect_);
    ipRow->addStretch(1);
    const std::pair<const char*, QWidget*> captions[] = {
        {"ID", id_}, {"Примечания", comment_}, {"Пароль", password_}, {"Last IP", lastIp_}};
    for (int row = 0; row < 4; ++row) {
        auto* label = new QLabel(Q(captions[row].first), own);
        label->setBuddy(captions[row].second);
        NameField(captions[row].second, label->text());
        grid->addWidget(label, row, 0);
    }
    grid->addLayout(idRow, 0, 1);
    grid->addWidget(comment_, 1, 1);
    grid->addWidget(password_, 2, 1);
    grid->addLayout(ipRow, 3, 1);
    form->addWidget(own);

    auto* read = new QGroupBox(Q(ct::kReadGroup), frame()->form);
    read->setObjectName("GroupBoxAdminCtrAttr");
    auto* readLayout = new QVBoxLayout(read);
    tabs_ = new QTabWidget(read);
    tabs_->setObjectName("PageControlAdminCtrAttr");
    NameField(tabs_, Q(ct::kReadGroup));
    infoBasic_ = MakeValueList("ValueListEditorAdminCtrInfoBasic", "Параметр", "Значение", tabs_);
    profile_ = MakeValueList("ValueListEditorAdminCtrProfile", "Тип объекта", "Название", tabs_);
    tabs_->addTab(infoBasic_, "Основные");
    tabs_->addTab(profile_, "Профиль");
    NameField(infoBasic_, "Основные");
    NameField(profile_, "Профиль");
    readLayout->addWidget(tabs_, 1);
    auto* refreshRow = new QHBoxLayout();
    refresh_ = new QPushButton("Upload", read);
    refresh_->setObjectName("ButtonAdminCtrRefresh");
    refresh_->setToolTip(Q(ct::kRefreshHint));
    refresh_->setEnabled(false);
    refreshRow->addWidget(refresh_);
    refreshRow->addStretch(1);
    readLayout->addLayout(refreshRow);
    form->addWidget(read, 1);

    frame()->saveButton->setEnabled(false);

    connect(refresh_, &QPushButton::clicked, this, &ConcentratorsPage::Refresh);
    connect(connect_, &QPushButton::clicked, this, &ConcentratorsPage::Open);
    connect(spin_, &SpinButton::stepped, this, &ConcentratorsPage::Spin);
}

void ConcentratorsPage::FillTree(QTreeWidgetItem* root) {
    for (const auto& row : admin::LoadCtrs(storage::Database())) {
        frame()->AddChild(root, row.text, row.uid, PictureIcon(Picture::Concentrator));
    }
}

void ConcentratorsPage::ClearValueLists() {
    infoBasic_->setRowCount(0);
    profile_->setRowCount(0);
}

void ConcentratorsPage::FillValueLists(int64_t uid) {
    ClearValueLists();
    const auto view = admin::ReadCtr(storage::Database(), uid);
    if (view) {
        FillValueList(infoBasic_, view->infoBasic);
        FillValueList(profile_, view->profile);
    }
}

void ConcentratorsPage::ShowLastAddress() {
    link::LinkServer* link = runtime_.Link();
    const std::string shown =
        admin::LastAddressText(link != nullptr ? link->LastAddress(S(id_->text())) : std::nullopt);
    lastIp_->setText(Q(shown));
    connect_->setEnabled(admin::CanOpenAddress(shown));
}

void ConcentratorsPage::ShowRecord(int64_t uid) {
    if (uid == 0) {  // a new row
        id_->setText(Q(ct::kNewId));
        comment_->clear();
        password_->clear();
        lastIp_->setText(Q(ct::kNoAddress));
        connect_->setEnabled(false);
        ClearValueLists();
        spin_->setEnabled(true);
        refresh_->setEnabled(false);
        comment_->setFocus();
        return;
    }
    frame()->header->tag = uid;
    tabs_->setCurrentIndex(0);
    ClearValueLists();
    const auto view = admin::ReadCtr(storage::Database(), uid);
    shownId_ = view ? view->record.id : std::string();
    id_->setText(view ? Q(view->record.id) : QString());
    comment_->setText(view ? Q(view->record.comment) : QString());
    password_->setText(view ? Q(view->record.password) : QString());
    if (view) {
        FillValueList(infoBasic_, view->infoBasic);
        FillValueList(profile_, view->profile);
    }
    spin_->setEnabled(false);
    refresh_->setEnabled(true);
    ShowLastAddress();
}

void ConcentratorsPage::ForgetRecord() {
    ClearValueLists();
    shownId_.clear();
    frame()->header->tag = 0;
}

std::optional<RegisterPage::Node> ConcentratorsPage::StoreRecord(int64_t uid) {
    const admin::CtrRecord record{S(id_->text()), S(comment_->text()), S(password_->text())};
    auto& db = storage::Database();
    // An added ID is checked for duplicates; a saved one is not, and its mirror keeps its name.
    const auto result = uid == 0 ? admin::AddCtr(db, record) : admin::SaveCtr(db, uid, record);
    if (!result.Saved()) {
        base::Messages().Warning(result.warning);
        return std::nullopt;
    }
    // The edit shows the ID as written.
    id_->setText(Q(result.id));
    return Node{admin::NodeText(result.id, record.comment), result.uid,
                PictureIcon(Picture::Concentrator)};
}

void ConcentratorsPage::RecordAdded(const Node&) {
    // The row exists now: whatever happens to its mirror, the page shows it.
    Guarded([&] { admin::PrepareMirror(base::Program().programDir, S(id_->text())); });
}

void ConcentratorsPage::DeleteMirror(const std::string& storedId) {
    if (link::LinkServer* link = runtime_.Link()) {
        link->DeleteMirror(storedId);
    } else {
        // No link: no received file can be in hand.
        link::DeleteMirrorTree(link::MirrorDir(base::Program().programDir, storedId));
    }
}

bool ConcentratorsPage::DeleteRecord(int64_t uid) {
    admin::DeleteCtr(storage::Database(), uid,
                     [this](const std::string& storedId) { DeleteMirror(storedId); });
    return true;
}

void ConcentratorsPage::Refresh() {
    Guarded([&] {
        const std::string warning = admin::RefreshCtr(base::Program().programDir, S(id_->text()));
        if (!warning.empty()) {
            base::Messages().Warning(warning);
        }
    });
}

void ConcentratorsPage::Open() {
    QDesktopServices::openUrl(QUrl(Q(admin::CtrPageUrl(S(lastIp_->text())))));
}

void ConcentratorsPage::Spin(bool up) {
    if (const auto next = admin::SpinCtrId(S(id_->text()), up)) {
        id_->setText(Q(*next));
    }
}

void ConcentratorsPage::OnLastAddress(const QString& ctrId, const QString& address) {
    if (id_->text() == ctrId) {
        lastIp_->setText(address);
        connect_->setEnabled(admin::CanOpenAddress(S(address)));
    }
}

void ConcentratorsPage::ShowConnected(const std::vector<link::CtrSessionFigures>& sessions) {
    QTreeWidgetItem* root = frame()->Root();
    if (root == nullptr) {
        return;
    }
    std::set<std::string> connected;
    for (const auto& figures : sessions) {
        if (figures.connected()) {
            connected.insert(figures.ctrId);
        }
    }
    static const QIcon kIcons[2] = {PictureIcon(Picture::Concentrator),
                                    ConnectedIcon(Picture::Concentrator)};
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem* item = root->child(i);
        // The node text begins with the ID (" [comment]" may follow).
        const auto id = admin::CanonicalCtrId(S(item->text(0).section(" [", 0, 0)));
        const bool on = id && connected.count(*id) != 0;
        if (item->data(0, kConnectedRole).toBool() != on) {
            item->setData(0, kConnectedRole, on);
            item->setIcon(0, kIcons[on ? 1 : 0]);
            item->setToolTip(0, on ? "На связи" : QString());
        }
    }
}

void ConcentratorsPage::OnValuesChanged(const QString& ctrId) {
    if (frame()->header->tag != 0 && !shownId_.empty() && Q(shownId_) == ctrId) {
        Guarded([&] { FillValueLists(frame()->header->tag); });
    }
}

}  // namespace zb::app
