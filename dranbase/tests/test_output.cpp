// The thread-safe output: one Write or Print call is never split by another thread's output.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "dranbase/clsstring.h"
#include "dranbase/console.h"

using namespace dranbase;

TEST(Output, LinesFromManyThreadsStayWhole)
{
    auto path = (std::filesystem::temp_directory_path() / "corvala_output_stress.txt").string();
    std::fflush(stdout);
    int saved = dup(1);
    ASSERT_GE(saved, 0);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    dup2(fileno(f), 1);

    const int threads = 6, lines = 300;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([t] {
            clsOutBuffer out;
            out.SetKeepLines(false);
            // Long lines written in one call, with a recognisable body per thread.
            std::string body(400, static_cast<char>('a' + t));
            for (int i = 0; i < lines; ++i) {
                if (i % 2)
                    Output().Write("T" + std::to_string(t) + ":" + body, true);
                else
                    out.Print("T" + std::to_string(t) + ":" + body, true);
            }
        });
    }
    for (auto& th : pool)
        th.join();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::fclose(f);

    clsCStrings got;
    ASSERT_TRUE(got.LoadFromFile(path));
    ASSERT_EQ(got.Count(), threads * lines);
    std::vector<int> perThread(threads, 0);
    for (const auto& l : got) {
        ASSERT_EQ(l.size(), 403u) << l.substr(0, 40);
        int t = l[1] - '0';
        ASSERT_TRUE(t >= 0 && t < threads);
        EXPECT_EQ(l.substr(3), std::string(400, static_cast<char>('a' + t)));
        ++perThread[static_cast<std::size_t>(t)];
    }
    for (int n : perThread)
        EXPECT_EQ(n, lines);
    std::remove(path.c_str());
}
