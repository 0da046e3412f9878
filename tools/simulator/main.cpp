// vendrill-sim: the instrument on a pseudo-terminal, for tests, benchmarks and trying
// the configurator without the hardware. See --help.
#include "Simulator.h"

#include <csignal>
#include <cstdio>

namespace {

sim::Simulator* gSimulator = nullptr;

void OnStop(int) {
    if (gSimulator != nullptr)
        gSimulator->Stop();
}

void OnReload(int) {
    if (gSimulator != nullptr)
        gSimulator->RequestReload();
}

void Handle(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a signal must wake the wait for a request
    sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    sim::Options options;
    std::string error;
    if (!sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "vendrill-sim: %s\n", error.c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(sim::HelpText().c_str(), stdout);
        return 0;
    }
    sim::Simulator simulator(std::move(options));
    // Handlers before the link exists, so that a stop always removes it again.
    gSimulator = &simulator;
    Handle(SIGTERM, OnStop);
    Handle(SIGINT, OnStop);
    Handle(SIGHUP, OnReload);
    std::signal(SIGPIPE, SIG_IGN);
    if (!simulator.Open(error)) {
        std::fprintf(stderr, "vendrill-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", simulator.ReadyLine().c_str());
    std::fflush(stdout);
    simulator.Serve();
    gSimulator = nullptr;
    return 0;
}
