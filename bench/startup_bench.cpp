// Time from starting the program to its first painted main window: the program is started
// with GW_QUIT_AFTER_FIRST_PAINT and timed until it exits.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::string ProgramPath() {
    if (const char* p = std::getenv("GW_PROGRAM")) return p;
    return GW_PROGRAM_PATH;
}

void BM_StartToFirstPaint(benchmark::State& state) {
    const std::string program = ProgramPath();
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.emplace_back("GW_QUIT_AFTER_FIRST_PAINT=1");
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        pid_t pid;
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
            state.SkipWithError("cannot start the program");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program did not exit cleanly");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_StartToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
