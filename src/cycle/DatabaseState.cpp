#include "cycle/DatabaseState.h"

namespace morvane {

namespace {

// From the most open to the most closed.
int Closure(fib::TShutdownMode mode)
{
    switch (mode) {
    case fib::TShutdownMode::Normal: return 0;
    case fib::TShutdownMode::Multi: return 1;
    case fib::TShutdownMode::Single: return 2;
    case fib::TShutdownMode::Full: return 3;
    }
    return 0;
}

const char* ModeText(fib::TShutdownMode mode)
{
    switch (mode) {
    case fib::TShutdownMode::Normal: return "online";
    case fib::TShutdownMode::Multi: return "multi-user maintenance";
    case fib::TShutdownMode::Single: return "single-user maintenance";
    case fib::TShutdownMode::Full: return "full shutdown";
    }
    return "";
}

} // namespace

DatabaseState StateOfAttributes(const std::string& attributes)
{
    DatabaseState state;
    if (attributes.find("full shutdown") != std::string::npos)
        state.mode = fib::TShutdownMode::Full;
    else if (attributes.find("single-user maintenance") != std::string::npos)
        state.mode = fib::TShutdownMode::Single;
    else if (attributes.find("multi-user maintenance") != std::string::npos)
        state.mode = fib::TShutdownMode::Multi;
    state.readOnly = attributes.find("read only") != std::string::npos;
    return state;
}

std::string StateText(const DatabaseState& state)
{
    return std::string(ModeText(state.mode)) + (state.readOnly ? ", read only" : ", read-write");
}

StateChange NextStateChange(const DatabaseState& now, const DatabaseState& wanted)
{
    using Kind = StateChange::Kind;
    using fib::TShutdownMode;
    if (now.readOnly != wanted.readOnly) {
        if (now.mode == TShutdownMode::Normal)
            return {Kind::Shutdown, TShutdownMode::Multi, false};
        if (now.mode == TShutdownMode::Full)
            return {Kind::Online, TShutdownMode::Multi, false};
        return {Kind::Access, now.mode, wanted.readOnly};
    }
    if (now.mode == wanted.mode)
        return {};
    if (Closure(wanted.mode) > Closure(now.mode))
        return {Kind::Shutdown, wanted.mode, false};
    return {Kind::Online, wanted.mode, false};
}

StateOutcome DriveDatabaseState(const StateRequests& requests, const DatabaseState& wanted) noexcept
{
    StateOutcome outcome;
    for (int round = 1; round <= requests.rounds; ++round) {
        bool failed = false;
        try {
            outcome.attributes = requests.attributes();
            outcome.last = StateOfAttributes(outcome.attributes);
            const StateChange change = NextStateChange(outcome.last, wanted);
            if (change.kind == StateChange::Kind::None) {
                outcome.reached = true;
                return outcome;
            }
            if (round == requests.rounds)
                break;
            ++outcome.requests;
            switch (change.kind) {
            case StateChange::Kind::Shutdown: requests.shutdown(change.mode); break;
            case StateChange::Kind::Online: requests.online(change.mode); break;
            case StateChange::Kind::Access: requests.access(change.readOnly); break;
            case StateChange::Kind::None: break;
            }
        } catch (const std::exception& error) {
            // The header read next says whether it took effect all the same.
            outcome.lastError = error.what();
            failed = true;
        }
        if (failed && requests.pause) {
            try {
                requests.pause();
            } catch (const std::exception&) {
                // A pause that fails only shortens the wait.
            }
        }
    }
    return outcome;
}

} // namespace morvane
