#pragma once
// Memory of this process (or of another one, such as the application a
// benchmark started) and the processes it started (the web engine's web and
// network processes): proportional set size (PSS, shared pages split among
// their users) read from /proc, summed over the process tree, with named
// subtrees left out (a local peer such as the ad server, whose memory is not
// ours). Linux only; a process that ends while it is read counts 0.
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// PSS of a process in KiB (0 when it cannot be read).
inline long pssKiB(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "Pss:") {
            in >> value;
            return value;
        }
        std::string rest;
        std::getline(in, rest);
    }
    return 0;
}

// The process's command name (/proc/<pid>/comm, at most 15 characters); "" when gone.
inline std::string processName(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// Every process's parent, from /proc/<pid>/stat.
inline std::vector<std::pair<int, int>> processParents() {
    std::vector<std::pair<int, int>> parents;
    DIR* proc = opendir("/proc");
    if (!proc) return parents;
    while (dirent* entry = readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');  // the name may hold spaces and parentheses
        if (close == std::string::npos || close + 2 > line.size()) continue;
        std::istringstream fields(line.substr(close + 2));
        char state = 0;
        int ppid = 0;
        fields >> state >> ppid;
        parents.emplace_back(pid, ppid);
    }
    closedir(proc);
    return parents;
}

// The root (this process when 0) and every process below it, leaving out the
// subtrees of processes whose command name is in `skipped`.
inline std::vector<int> processTree(const std::set<std::string>& skipped = {}, int root = 0) {
    std::vector<int> tree{root > 0 ? root : static_cast<int>(getpid())};
    const auto parents = processParents();
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (const auto& [pid, ppid] : parents)
            if (ppid == tree[i] && !skipped.count(processName(pid))) tree.push_back(pid);
    return tree;
}

// The children of this process with the command name (a program the benchmark started).
inline std::vector<int> childrenNamed(const std::string& name) {
    std::vector<int> found;
    for (const auto& [pid, ppid] : processParents())
        if (ppid == static_cast<int>(getpid()) && processName(pid) == name) found.push_back(pid);
    return found;
}

// PSS of the root process (this one when 0) and of its tree, in MiB, with the
// tree's share per command name.
struct TreeMemory {
    double hostMiB = 0;  // the root's own
    double totalMiB = 0;
    std::map<std::string, double> byNameMiB;
};

inline TreeMemory treeMemory(const std::set<std::string>& skipped = {}, int root = 0) {
    TreeMemory memory;
    const int self = root > 0 ? root : static_cast<int>(getpid());
    for (const int pid : processTree(skipped, self)) {
        const double mib = static_cast<double>(pssKiB(pid)) / 1024.0;
        memory.totalMiB += mib;
        if (pid == self) memory.hostMiB = mib;
        memory.byNameMiB[pid == self && root <= 0 ? std::string("(this process)") : processName(pid)] += mib;
    }
    return memory;
}

}  // namespace bench
