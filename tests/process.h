// Child processes for end-to-end tests: started with their output in files,
// waited for with a limit so that no test can hang.
#pragma once

#include <string>
#include <vector>

struct child_process {
    int pid = -1;
};

// Starts `program` with `arguments` in folder `cwd`, standard input from
// /dev/null, standard output and error to the files named.
child_process start_process(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& cwd, const std::string& out_file, const std::string& err_file);

// Waits up to `seconds`; the exit code, or -1 when it had to be killed.
int wait_process(child_process& p, double seconds);

std::string read_file(const std::string& path);
