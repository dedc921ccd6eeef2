#pragma once

// A throwaway PostgreSQL server for the tests: a cluster made with initdb in a temporary folder,
// listening only on a Unix socket in that folder (no network address), trusted local logins,
// stopped and removed when the object goes (a test that fails still ends the program normally).
// The server refuses to run as root: under root the cluster belongs to the "postgres" system
// user that Debian's package makes, and every server command runs as that user.

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/RunCommand.h"

namespace tessel::test {

class PgCluster {
public:
    PgCluster() {
        bin_ = FindBin();
        if (bin_.empty()) {
            why_ = "PostgreSQL's server programs are not installed";
            return;
        }
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tessel-pg-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            why_ = "no temporary folder";
            return;
        }
        dir_ = pattern;
        ::chmod(dir_.c_str(), 0755);
        if (::geteuid() == 0) {
            const passwd* pg = ::getpwnam("postgres");
            if (!pg) {
                why_ = "running as root and there is no postgres user to run the server";
                return;
            }
            if (::chown(dir_.c_str(), pg->pw_uid, pg->pw_gid) != 0) {
                why_ = "cannot give the folder to the postgres user";
                return;
            }
            as_ = "runuser -u postgres -- ";
            user_ = "postgres";
        } else {
            const passwd* me = ::getpwuid(::geteuid());
            user_ = me ? me->pw_name : "postgres";
        }
        int status = 0;
        const std::string init = RunCommand(
            as_ + bin_ + "/initdb -A trust -U " + user_ + " -E UTF8 --locale=C.UTF-8 -D " + dir_ + "/data 2>&1",
            &status);
        if (status != 0) {
            why_ = "initdb failed: " + init;
            return;
        }
        const std::string start = RunCommand(as_ + bin_ + "/pg_ctl -D " + dir_ + "/data -l " + dir_ +
                                                 "/server.log -w -t 60 -o \"-c listen_addresses='' -k " + dir_ +
                                                 " -p 5432 -c fsync=off -c full_page_writes=off\" start 2>&1",
                                             &status);
        if (status != 0) {
            why_ = "the server did not start: " + start + Log();
            return;
        }
        running_ = true;
    }
    ~PgCluster() {
        if (running_) RunCommand(as_ + bin_ + "/pg_ctl -D " + dir_ + "/data -m immediate -w stop >/dev/null 2>&1");
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    bool Running() const { return running_; }
    const std::string& Why() const { return why_; }
    // Where the socket is (libpq's host), its port and the user that may log in.
    const std::string& SocketDir() const { return dir_; }
    int Port() const { return 5432; }
    const std::string& User() const { return user_; }

    // The server's own client, as an independent reader: `sql` run in `database`, unaligned
    // output with "|" between fields and no headers or footers.
    std::string Psql(const std::string& sql, const std::string& database = "postgres", int* status = nullptr) const {
        const std::string file = dir_ + "/psql-input.sql";
        std::ofstream(file) << sql;
        ::chmod(file.c_str(), 0644);
        return RunCommand(as_ + "psql -X -q -A -t -v ON_ERROR_STOP=1 -h " + dir_ + " -p 5432 -U " + user_ + " -d " +
                              database + " -f " + file + " 2>&1",
                          status);
    }
    // A login role `user` that must give `password` over the socket (the others stay trusted).
    bool AddPasswordUser(const std::string& user, const std::string& password) const {
        int status = 0;
        Psql("CREATE ROLE " + user + " LOGIN PASSWORD '" + password + "';", "postgres", &status);
        if (status != 0) return false;
        const std::string hba = dir_ + "/data/pg_hba.conf";
        std::ifstream in(hba);
        const std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        std::ofstream(hba, std::ios::trunc) << "local all " << user << " scram-sha-256\n" << old;
        RunCommand(as_ + bin_ + "/pg_ctl -D " + dir_ + "/data reload >/dev/null 2>&1", &status);
        return status == 0;
    }
    std::string Log() const {
        std::ifstream in(dir_ + "/server.log");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    static std::string FindBin() {
        std::error_code ec;
        std::string best;
        for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
            const std::string bin = entry.path().string() + "/bin";
            if (std::filesystem::exists(bin + "/initdb") && bin > best) best = bin;
        }
        return best;
    }

    std::string bin_, dir_, user_, as_, why_;
    bool running_ = false;
};

}  // namespace tessel::test
