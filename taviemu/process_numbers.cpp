// The table of the program's process numbers.
#include "process_numbers.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace taviemu {

namespace {

struct Known {
    pid_t pid;
    int number;
};

std::vector<Known> known;
int last_given = 0; // numbers are given in turn, as the kernel gives IDs

const Known *by_pid(pid_t pid) {
    auto it =
        std::find_if(known.begin(), known.end(), [pid](const Known &k) { return k.pid == pid; });
    return it == known.end() ? nullptr : &*it;
}

bool taken(int number) {
    return std::any_of(known.begin(), known.end(),
                       [number](const Known &k) { return k.number == number; });
}

// A host ID that is a number itself keeps it, when it is free; any other
// takes the next free number after the last one given.
int give_number(pid_t pid) {
    if (known.size() >= kMaxProcessNumber)
        return -EAGAIN;
    int number = pid;
    if (pid > kMaxProcessNumber || taken(pid)) {
        number = last_given;
        do
            number = number % kMaxProcessNumber + 1;
        while (taken(number));
        last_given = number;
    }
    known.push_back({pid, number});
    return number;
}

} // namespace

int process_number(pid_t pid) {
    if (pid <= 0)
        return 0;
    if (const Known *k = by_pid(pid))
        return k->number;
    return give_number(pid);
}

pid_t host_process(uint16_t value) {
    int number = static_cast<int16_t>(value);
    if (number == 0 || number == -1)
        return number;
    int wanted = number < 0 ? -number : number;
    auto it = std::find_if(known.begin(), known.end(),
                           [wanted](const Known &k) { return k.number == wanted; });
    if (it == known.end())
        return 0;
    return number < 0 ? -it->pid : it->pid;
}

int fork_numbered() {
    // The program's own number and its parent's are given before the fork,
    // so that parent and child give the child's number from the same table.
    pid_t self = getpid();
    int parent_number = process_number(self);
    if (parent_number < 0 || process_number(getppid()) < 0 || known.size() >= kMaxProcessNumber)
        return -EAGAIN;
    pid_t child = fork();
    if (child < 0)
        return -errno;
    if (child > 0)
        return process_number(child);
    int own = process_number(getpid());
    known = {{getpid(), own}, {self, parent_number}};
    return 0;
}

void forget_process(pid_t pid) {
    std::erase_if(known, [pid](const Known &k) { return k.pid == pid; });
}

} // namespace taviemu
