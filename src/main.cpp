// zarnicbox: the head-end server of the meter data-collection system.
#include <iostream>
#include <string>
#include <vector>

#include "base/program.h"
#include "server/command_line.h"
#include "server/installed_layout.h"
#include "server/runtime.h"
#ifdef ZB_WITH_WINDOW
#include "app/run_window.h"
#endif

int main(int argc, char** argv) {
    using namespace zb::server;
    const auto parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::cerr << parsed.error << std::endl;
        return 2;
    }
    const CommandLine& options = *parsed.options;
    if (options.help) {
        std::cout << UsageText();
        return 0;
    }
    // An installed program keeps its data apart from its executable (see installed_layout.h).
    const auto shipped = FindShippedLayout(zb::base::ExecutableDir());
    const auto programDir = PrepareProgram(
        options.programDir.empty() && shipped ? DefaultInstalledProgramDir() : options.programDir);
    if (options.version) {
        std::cout << zb::base::Program().windowTitle << " (file version "
                  << zb::base::Program().fileVersion << ")" << std::endl;
        return 0;
    }
    if (shipped) {
        try {
            SeedProgramDir(programDir, *shipped, zb::base::Program().fileVersion);
        } catch (const std::exception& e) {
            std::cerr << e.what() << std::endl;
            return 1;
        }
    }
    if (options.exportWork) {
        return RunExportWork(*options.exportWork, options.output);
    }
    KeepExecutableCopy();
    const RuntimeOptions runtime{programDir, options.port};
#ifdef ZB_WITH_WINDOW
    if (!options.headless) {
        return zb::app::RunWindow(argc, argv, runtime);
    }
#endif
    return RunHeadless(runtime);
}
