// What the runner adds to a tool that ends at once: compare a bare spawn-and-wait of /bin/true
// with Shell32::RunAndWait on the same program.
#include "process/Shell32.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr int Runs = 200;

void ToolAlone(benchmark::State &state) {
    char program[] = "/bin/true";
    char *arguments[] = {program, nullptr};
    for (auto _ : state) {
        pid_t child = 0;
        if (posix_spawn(&child, program, nullptr, nullptr, arguments, environ) != 0) {
            state.SkipWithError("cannot start /bin/true");
            break;
        }
        int status = 0;
        waitpid(child, &status, 0);
        benchmark::DoNotOptimize(status);
    }
}

void RunAndWait(benchmark::State &state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(Shell32::RunAndWait(QStringLiteral("/bin/true"), 0));
    }
}

}  // namespace

BENCHMARK(ToolAlone)->Iterations(Runs)->Unit(benchmark::kMillisecond);
BENCHMARK(RunAndWait)->Iterations(Runs)->Unit(benchmark::kMillisecond);
