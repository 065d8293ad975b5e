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
    up_ = new QToolButton(this);
    up_->setObjectName(name + "Up");
    up_->setArrowType(Qt::UpArrow);
    up_->setFixedSize(20, 13);
    down_ = new QToolButton(this);
    down_->setObjectName(name + "Down");
    down_->setArrowType(Qt::DownArrow);
    down_->setFixedSize(20, 13);
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, [this] { emit stepped(true); });
    connect(down_, &QToolButton::clicked, this, [this] { emit stepped(false); });
}

ConcentratorsPage::ConcentratorsPage(server::Runtime& runtime, QWidget* parent)
    : Page(ct::kCaption, "PageAdminCtr", parent), runtime_(runtime) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new RegisterFrame("AdminCtr", ct::kPrompt, ct::kAddHint, ct::kDeleteHint, this);
    frame_->prompt->setObjectName("PanelAdminCtrShadow");
    frame_->header->setPicture(PicturePixmap(Picture::Concentrator, 32));
    layout->addWidget(frame_);

    auto* form = new QVBoxLayout(frame_->form);
    form->setContentsMargins(0, 8, 0, 0);

    auto* own = new QGroupBox(Q(ct::kOperatorGroup), frame_->form);
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
    grid->addWidget(new QLabel("ID", own), 0, 0);
    grid->addLayout(idRow, 0, 1);
    grid->addWidget(new QLabel("Примечания", own), 1, 0);
    grid->addWidget(comment_, 1, 1);
    grid->addWidget(new QLabel("Пароль", own), 2, 0);
    grid->addWidget(password_, 2, 1);
    grid->addWidget(new QLabel("Last IP", own), 3, 0);
    grid->addLayout(ipRow, 3, 1);
    form->addWidget(own);

    auto* read = new QGroupBox(Q(ct::kReadGroup), frame_->form);
    read->setObjectName("GroupBoxAdminCtrAttr");
    auto* readLayout = new QVBoxLayout(read);
    tabs_ = new QTabWidget(read);
    tabs_->setObjectName("PageControlAdminCtrAttr");
    infoBasic_ = MakeValueList("ValueListEditorAdminCtrInfoBasic", "Параметр", "Значение", tabs_);
    profile_ = MakeValueList("ValueListEditorAdminCtrProfile", "Тип объекта", "Название", tabs_);
    tabs_->addTab(infoBasic_, "Основные");
    tabs_->addTab(profile_, "Профиль");
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

    frame_->saveButton->setEnabled(false);

    connect(frame_, &RegisterFrame::nodeChosen, this, &ConcentratorsPage::Select);
    connect(frame_->addButton, &QToolButton::clicked, this, &ConcentratorsPage::Add);
    connect(frame_->deleteButton, &QToolButton::clicked, this, &ConcentratorsPage::Delete);
    connect(frame_->saveButton, &QPushButton::clicked, this, &ConcentratorsPage::Save);
    connect(frame_->cancelButton, &QPushButton::clicked, this, &ConcentratorsPage::Cancel);
    connect(refresh_, &QPushButton::clicked, this, &ConcentratorsPage::Refresh);
    connect(connect_, &QPushButton::clicked, this, &ConcentratorsPage::Open);
    connect(spin_, &SpinButton::stepped, this, &ConcentratorsPage::Spin);
    frame_->ShowPrompt();
}

std::mutex& ConcentratorsPage::FileLock() {
    link::LinkServer* link = runtime_.Link();
    return link != nullptr ? link->FileLock() : ownFileLock_;
}

void ConcentratorsPage::Load() {
    auto* root = frame_->ResetTree(ct::kRoot, PictureIcon(Picture::Folder));
    for (const auto& row : admin::LoadCtrs(storage::Database())) {
        frame_->AddChild(root, row.text, row.uid, PictureIcon(Picture::Concentrator));
    }
    frame_->tree->expandAll();
    frame_->header->tag = 0;
    Cancel();
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
    // The link reads its table under the link lock.
    link::LinkServer* link = runtime_.Link();
    const std::string shown =
        admin::LastAddressText(link != nullptr ? link->LastAddress(S(id_->text())) : std::nullopt);
    lastIp_->setText(Q(shown));
    connect_->setEnabled(admin::CanOpenAddress(shown));
}

void ConcentratorsPage::Select(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    Guarded([&] {
        const int64_t uid = UidOf(item);
        frame_->header->tag = uid;
        frame_->addButton->setEnabled(uid == 0);
        frame_->deleteButton->setEnabled(uid != 0);
        if (uid != 0) {
            frame_->header->setText(Q(ct::kHeaderEdit));
            tabs_->setCurrentIndex(0);
            frame_->ShowAttributes();
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
        } else {
            shownId_.clear();
            frame_->ShowPrompt();
        }
        frame_->saveButton->setText(Q(admin::kModeSave));
        frame_->saveButton->setEnabled(true);
    });
}

void ConcentratorsPage::Add() {
    frame_->header->setText(Q(ct::kHeaderNew));
    frame_->addButton->setEnabled(false);
    id_->setText(Q(ct::kNewId));
    comment_->clear();
    password_->clear();
    lastIp_->setText(Q(ct::kNoAddress));
    connect_->setEnabled(false);
    ClearValueLists();
    frame_->saveButton->setText(Q(admin::kModeAdd));
    frame_->saveButton->setEnabled(true);
    spin_->setEnabled(true);
    refresh_->setEnabled(false);
    frame_->ShowAttributes();
    comment_->setFocus();
}

void ConcentratorsPage::Save() {
    Guarded([&] {
        const admin::CtrRecord record{S(id_->text()), S(comment_->text()), S(password_->text())};
        auto& db = storage::Database();
        if (frame_->saveButton->text() == Q(admin::kModeAdd)) {
            const auto result = admin::AddCtr(db, record);
            if (!result.saved()) {
                base::Messages().Warning(result.warning);
                return;
            }
            id_->setText(Q(result.id));
            auto* item =
                frame_->AddChild(frame_->Root(), admin::NodeText(result.id, record.comment),
                                 result.uid, PictureIcon(Picture::Concentrator));
            frame_->SelectQuietly(item);
            // The row exists now: whatever happens to its mirror, the page shows it.
            Guarded([&] { admin::PrepareMirror(base::Program().programDir, result.id); });
            Select(item);
            return;
        }
        QTreeWidgetItem* item = frame_->tree->currentItem();
        if (item == nullptr || UidOf(item) == 0) {
            return;
        }
        const auto result = admin::SaveCtr(db, UidOf(item), record);
        if (!result.saved()) {
            base::Messages().Warning(result.warning);
            return;
        }
        item->setText(0, Q(admin::NodeText(result.id, record.comment)));
        Select(item);
    });
}

void ConcentratorsPage::Delete() {
    Guarded([&] {
        QTreeWidgetItem* item = frame_->tree->currentItem();
        if (item == nullptr || UidOf(item) == 0) {
            return;
        }
        admin::DeleteCtr(storage::Database(), base::Program().programDir, FileLock(), UidOf(item));
        delete item;
        Cancel();
    });
}

void ConcentratorsPage::Cancel() {
    ClearValueLists();
    shownId_.clear();
    frame_->header->tag = 0;
    frame_->ReturnToRoot();
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
    QTreeWidgetItem* root = frame_->Root();
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
    if (frame_->header->tag != 0 && !shownId_.empty() && Q(shownId_) == ctrId) {
        Guarded([&] { FillValueLists(frame_->header->tag); });
    }
}

}  // namespace zb::app
