#pragma once
// The texts of the navigation shell: page captions (what the trail shows), the links of the
// link pages, the prompts shown while nothing is selected, and the status bar's panels. Plain
// C++, so that a test can hold them against what the window shows.
#include <cstdint>
#include <string>

namespace zb::app::texts {

// Page captions.
inline constexpr const char* kMain = "Main";
inline constexpr const char* kWork = "Задания";
inline constexpr const char* kData = "Данные";
inline constexpr const char* kAdmin = "Администрирование";
inline constexpr const char* kLibrary = "Библиотека";
inline constexpr const char* kUpLoad = "Загрузить";
inline constexpr const char* kDelete = "Удалить";
inline constexpr const char* kStat = "Статистика";
inline constexpr const char* kOperators = "Операторы";
inline constexpr const char* kCtr = "Концентраторы";
inline constexpr const char* kMeasuringPoints = "Точки учёта";
inline constexpr const char* kLog = "Журнал";
inline constexpr const char* kNetwork = "Состояние сети";

// Links of the main links page.
inline constexpr const char* kLinkWork = "Задания";
inline constexpr const char* kLinkData = "База данных";
inline constexpr const char* kLinkAdmin = "Администрирование";
inline constexpr const char* kLinkExit = "Выход";
// Links of the work links page.
inline constexpr const char* kLinkLibrary = "Библиотека заданий";
inline constexpr const char* kLinkUpLoad = "Загрузить задание на исполнение";
inline constexpr const char* kLinkDelete = "Удалить \"периодическое\" задание";
inline constexpr const char* kLinkStat = "Показать статистику \"однократных\" заданий";
// Links of the data links page (no action yet).
inline constexpr const char* kLinkReports = "Отчёты";
inline constexpr const char* kLinkManual = "Ввод данных вручную";
// Links of the administration links page.
inline constexpr const char* kLinkOperators = "Операторы системы сбора данных";
inline constexpr const char* kLinkCtr = "Концентраторы";
inline constexpr const char* kLinkMeasuringPoints = "Точки учёта";
inline constexpr const char* kLinkCustomers = "Клиенты";
inline constexpr const char* kLinkContracts = "Договоры";
inline constexpr const char* kLinkAccounts = "Лицевые счета";
inline constexpr const char* kLinkBalance = "Балансовые группы";
inline constexpr const char* kLinkCategories = "Категории точек учёта";
inline constexpr const char* kLinkProviders = "Поставщики";
inline constexpr const char* kLinkNetwork = "Состояние сети";

// Prompts of the pages whose working parts come with their own screens.
inline constexpr const char* kPromptOperators = "Выберите\r\nили добавьте\r\nоператора";
inline constexpr const char* kPromptUpLoad = "Выберите\r\nзадание для исполнения";
inline constexpr const char* kPromptLibrary = "Выберите\r\nили добавьте\r\nзадание";
inline constexpr const char* kPromptStat = "Выберите задание\r\nи нажмите \"Показать\"";

// The trail's separator label.
inline constexpr const char* kTrailSeparator = "-->";

// Login panel.
inline constexpr const char* kLoginLabel = "Логин:";
inline constexpr const char* kPasswordLabel = "Пароль:";

// Status bar: initial panel texts and the texts the one-second tick writes.
inline constexpr const char* kStatusInitial[4] = {"Login", "Time", "Conns.", "Files"};
inline constexpr int kStatusWidths[4] = {200, 150, 150, 150};
std::string StatusConnections(int64_t count);
std::string StatusFiles(int32_t filesIn, int32_t filesOut);

// The dispatch and withdrawal buttons are enabled when both of their lists have a selection.
inline bool UpLoadEnabled(int selectedA, int selectedB) {
    return selectedA > 0 && selectedB > 0;
}

// The log page keeps at most this many lines.
inline constexpr int kLogLines = 257;

}  // namespace zb::app::texts
