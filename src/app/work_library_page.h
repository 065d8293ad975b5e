#pragma once
// The work library page: the tree of works and their requests, the work panel and the request
// panel (ZARNIC, M-200 and M-230 pages), save, cancel and show XML. The rules live in
// work/work_library.h; the page copies them onto its widgets.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <memory>
#include <string>

#include "app/register_page.h"
#include "work/work_library.h"

namespace zb::app {

// The two syntax pages of free requests (M-200, M-230).
struct FreeRequestFields {
    QLineEdit* name = nullptr;
    QPlainTextEdit* value = nullptr;
};

class WorkLibraryPage : public RegisterPage {
    Q_OBJECT
  public:
    explicit WorkLibraryPage(QWidget* parent = nullptr);

    using RegisterPage::frame;

  public slots:
    void AddTask();
    void ShowXml();

  protected:
    void Load() override;

  private:
    // The register's rules for a tree of works (level 1) and their requests (level 2).
    void FillTree(QTreeWidgetItem* root) override;
    void ShowRecord(int64_t uid) override;
    std::optional<Node> StoreRecord(int64_t uid) override;
    QTreeWidgetItem* PlaceNewNode(const Node& node) override;
    bool DeleteRecord(int64_t uid) override;
    QTreeWidgetItem* NodeAfterDelete(QTreeWidgetItem* parent, int position) override;
    void EnableTools(const QTreeWidgetItem* item) override;
    void ForgetRecord() override;

    bool WorkPanelShown() const;
    bool TaskPanelShown() const;
    // Shows a chosen work or request: its stored XML, and its fields unless it is the one
    // being edited (a second click keeps what was typed).
    void ShowStored(int level, int64_t uid);
    void ShowNewWork();
    void ShowNewTask();
    QWidget* BuildWorkPanel();
    QWidget* BuildTaskPanel();
    QWidget* BuildZarnicPage();
    QWidget* BuildFreePage(const QString& syntax, FreeRequestFields& fields);
    void ConnectZarnicPage();

    work::WorkDefinition ReadWorkFields() const;
    void LoadWorkFields(const std::string& xml);
    work::TaskRequest ReadTaskFields() const;
    void LoadTaskFields(const std::string& xml);
    // Copies the ZARNIC page's state onto its widgets.
    void ShowZarnicPage();
    // Runs a ZARNIC change handler, then shows the outcome.
    template <class Change>
    void OnZarnicChange(Change&& change);
    void ShowPanel(QWidget* panel, const char* header);
    static void SetImage(QTreeWidgetItem* item, int image);

    QToolButton* addTask_;
    QPushButton* showXml_;
    QStackedWidget* panels_;
    QWidget* workPanel_;
    QWidget* taskPanel_;
    // Work panel.
    QLineEdit* workName_;
    QRadioButton* single_;
    QRadioButton* periodic_;
    QGroupBox* periodGroup_;
    QSpinBox* periodFactor_;
    QComboBox* periodCode_;
    QSpinBox* durationFactor_;
    QComboBox* durationCode_;
    // Request panel.
    QTabWidget* syntaxPages_;
    QSpinBox* attempts_;
    QWidget* zarnicFields_;
    QLabel* missingVariable_;
    QComboBox* group_;
    QComboBox* variable_;
    QComboBox* target_;
    QComboBox* action_;
    QGroupBox* newValueGroup_;
    QPlainTextEdit* newValue_;
    QGroupBox* archiveGroup_;
    QComboBox* archiveType_;
    QLineEdit* start_;
    QLineEdit* stop_;
    QGroupBox* accumulationGroup_;
    QComboBox* accumulationCode_;
    QSpinBox* accumulationFactor_;
    FreeRequestFields m200_;
    FreeRequestFields m230_;

    std::unique_ptr<work::ZarnicEditor> editor_;
    int64_t editedWork_ = 0;
    int64_t editedTask_ = 0;
    std::string xmlText_;
};

// The image index of a tree node (0 root, 1 work without requests, 2 with, 3 request).
inline constexpr int kImageRole = Qt::UserRole + 1;

}  // namespace zb::app
