#include "tests/common/run_interactive.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace
{

std::string
environment_or(const char *name, const std::string &fallback)
{
    const char *value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

// The runner's words (for example "wine"), the program's path and the arguments.
std::vector<std::string>
command_line(const std::string &program, const std::vector<std::string> &args)
{
    std::vector<std::string> words;
    std::istringstream runner(environment_or("FENWRACK_RUNNER", ""));
    for (std::string word; runner >> word;)
        words.push_back(word);
    const std::string dir = environment_or("FENWRACK_PROGRAM_DIR", FENWRACK_PROGRAM_DIR);
    words.push_back(dir + "/" + program + environment_or("FENWRACK_EXE_SUFFIX", ""));
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

// In the child: the locale comes only from options, never from the test's own environment.
void
set_environment(const run_options &options)
{
    std::vector<std::string> names;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        if (name.rfind("LC_", 0) == 0 || name == "LANG" || name == "LANGUAGE" || name == "LOCPATH")
            names.push_back(name);
    }
    for (const std::string &name : names)
        unsetenv(name.c_str());
    for (const auto &[name, value] : options.environment)
        setenv(name.c_str(), value.c_str(), 1);
}

[[noreturn]] void
exec_child(const std::vector<std::string> &words, const std::filesystem::path &folder,
           const run_options &options)
{
    if (chdir(folder.c_str()) != 0)
        _exit(126);
    set_environment(options);
    std::vector<char *> argv;
    for (const std::string &word : words)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// A terminal as a person's: by default wide enough that no line wraps, and without output
// processing, so the bytes read are the bytes written.
void
open_terminal(int *master_out, int *slave_out, unsigned short columns)
{
    winsize size{};
    size.ws_row = 50;
    size.ws_col = columns;
    if (openpty(master_out, slave_out, nullptr, nullptr, &size) != 0)
        std::abort();
    termios settings{};
    tcgetattr(*slave_out, &settings);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(*slave_out, TCSANOW, &settings);
}

double
seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reads what arrives within milliseconds into out and err. Returns false when nothing came.
bool
read_some(running_program *p, int milliseconds)
{
    pollfd fds[2] = {{p->output_fd, POLLIN, 0}, {p->error_fd, POLLIN, 0}};
    if (p->output_fd < 0 && p->error_fd < 0)
        return false;
    if (poll(fds, 2, milliseconds) <= 0)
        return false;
    bool got = false;
    for (int k = 0; k < 2; ++k) {
        if (fds[k].fd < 0 || fds[k].revents == 0)
            continue;
        char buf[4096];
        const ssize_t n = read(fds[k].fd, buf, sizeof buf);
        int *fd = k == 0 ? &p->output_fd : &p->error_fd;
        if (n <= 0) {  // end, or EIO from a terminal nobody holds any more
            close(*fd);
            *fd = -1;
            continue;
        }
        (k == 0 ? p->out : p->err).append(buf, static_cast<std::size_t>(n));
        got = true;
    }
    return got;
}

}  // namespace

running_program
start_program(const std::string &program, const std::filesystem::path &folder,
              const run_options &options)
{
    const std::vector<std::string> words = command_line(program, options.args);
    int input[2];
    int output[2] = {-1, -1};
    int error[2] = {-1, -1};
    if (pipe(input) != 0)
        std::abort();
    if (options.terminal || options.lone_terminal == 1)
        open_terminal(&output[0], &output[1], options.columns);
    else if (pipe(output) != 0)
        std::abort();
    if (options.lone_terminal == 2)
        open_terminal(&error[0], &error[1], options.columns);
    else if (!options.terminal && pipe(error) != 0)
        std::abort();
    std::signal(SIGPIPE, SIG_IGN);  // a program that has ended takes no more input

    running_program p;
    p.pid = fork();
    if (p.pid == 0) {
        if (options.terminal || options.lone_terminal != 0) {
            setsid();
            ioctl(options.lone_terminal == 2 ? error[1] : output[1], TIOCSCTTY, 0);
        }
        if (options.file_size_limit >= 0) {
            const rlimit limit = {static_cast<rlim_t>(options.file_size_limit),
                                  static_cast<rlim_t>(options.file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        dup2(input[0], 0);
        dup2(output[1], 1);
        dup2(options.terminal ? output[1] : error[1], 2);
        for (const int fd : {input[0], input[1], output[0], output[1], error[0], error[1]}) {
            if (fd > 2)
                close(fd);
        }
        exec_child(words, folder, options);
    }
    close(input[0]);
    close(output[1]);
    if (error[1] >= 0)
        close(error[1]);
    p.input_fd = input[1];
    p.output_fd = output[0];
    p.error_fd = error[0];
    return p;
}

bool
wait_for_output(running_program *p, std::string_view text, double seconds)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (terminal_text(p->out).find(text) != std::string::npos)
            return true;
        if (seconds_since(start) > seconds || (p->output_fd < 0 && p->error_fd < 0))
            return false;
        read_some(p, 50);
    }
}

void
send_input(running_program *p, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = write(p->input_fd, text.data(), text.size());
        if (n <= 0)
            return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

interactive_result
finish_program(running_program *p, double seconds)
{
    close(p->input_fd);
    p->input_fd = -1;
    const auto start = std::chrono::steady_clock::now();
    int raw = 0;
    bool ended = false;
    while (!ended && seconds_since(start) < seconds) {
        read_some(p, 50);
        ended = waitpid(p->pid, &raw, WNOHANG) == p->pid;
    }
    if (!ended) {
        kill(p->pid, SIGKILL);
        waitpid(p->pid, &raw, 0);
    }
    // The rest: until the streams end, or stay quiet a while (a runner's helper processes
    // may hold a terminal open after the program has ended).
    while (read_some(p, ended ? 1000 : 0)) {
    }
    for (int *fd : {&p->output_fd, &p->error_fd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    interactive_result result;
    result.status = !ended ? -1 : WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.out = std::move(p->out);
    result.err = std::move(p->err);
    return result;
}

interactive_result
run_with(const std::string &program, const std::filesystem::path &folder, const std::string &input,
         const run_options &options)
{
    running_program p = start_program(program, folder, options);
    send_input(&p, input);
    return finish_program(&p, 120);
}

std::string
terminal_text(const std::string &out)
{
    std::string text;
    for (std::size_t k = 0; k < out.size(); ++k) {
        const char c = out[k];
        if (c == '\r')
            continue;
        if (c != '\x1b' || k + 1 >= out.size()) {
            text += c;
            continue;
        }
        const char kind = out[++k];
        if (kind == '[') {  // CSI: parameters, then a final byte 0x40-0x7E
            std::size_t count = 0;
            while (k + 1 < out.size() && (out[k + 1] < 0x40 || out[k + 1] > 0x7e)) {
                ++k;
                if (out[k] >= '0' && out[k] <= '9')
                    count = count * 10 + static_cast<std::size_t>(out[k] - '0');
            }
            ++k;
            if (k < out.size() && out[k] == 'C')  // cursor forward over a blank line: spaces
                text.append(count == 0 ? 1 : count, ' ');
        } else if (kind == ']') {  // OSC: to BEL or ESC backslash
            while (k + 1 < out.size() && out[k + 1] != '\a' && out[k + 1] != '\x1b')
                ++k;
            k += (k + 2 < out.size() && out[k + 1] == '\x1b') ? std::size_t{2} : std::size_t{1};
        }
    }
    return text;
}

std::string
convert_cp932(const std::string &cp932, const char *to)
{
    iconv_t cd = iconv_open(to, "CP932");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
    std::string result;
    char *in = const_cast<char *>(cp932.data());
    std::size_t in_left = cp932.size();
    while (in_left > 0) {
        char buf[256];
        char *out = buf;
        std::size_t room = sizeof buf;
        const std::size_t r = iconv(cd, &in, &in_left, &out, &room);
        result.append(buf, static_cast<std::size_t>(out - buf));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            result += '?';
            const auto lead = static_cast<unsigned char>(*in);
            const std::size_t len =
                in_left > 1 && ((lead >= 0x81 && lead <= 0x9f) || lead >= 0xe0) ? 2 : 1;
            in += len;
            in_left -= len;
        }
    }
    iconv_close(cd);
    return result;
}

// CPU time (user and system) of the programs this test process has waited for so far:
// steadier than the clock on a busy machine.
double
children_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
