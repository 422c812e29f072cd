// A module that only plays, as a well-behaved module written in C++ does:
// it reads its opening book from the folder "book" beside it (which a
// sandbox must grant), answers moves from a thread of its own through a
// condition variable, writes its progress with iostream, and uses
// exceptions, std::random_device and std::chrono on the way. Nothing it
// writes depends on the machine, the time or chance: its transcript is the
// same wherever it plays.
#include "ai_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Move {
    int from_x, from_y, to_x, to_y;
};

struct Book {
    std::vector<int> setup; // ranks, row by row, 10 a row
    std::vector<Move> moves;
    int skipped = 0;
};

std::string book_path() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&book_path), &info) || !info.dli_fname)
        return "book/opening-book.txt";
    const std::string module = info.dli_fname;
    return module.substr(0, module.rfind('/') + 1) + "book/opening-book.txt";
}

int number(const std::string &word) {
    std::size_t used = 0;
    const int value = std::stoi(word, &used);
    if (used != word.size())
        throw std::invalid_argument("not a number: " + word);
    return value;
}

// "setup r r r ..." and "move x y x y" lines; '#' starts a comment; a line
// that says neither is skipped.
Book read_book(std::istream &in) {
    Book book;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string kind, word;
        words >> kind;
        std::vector<int> values;
        try {
            while (words >> word)
                values.push_back(number(word));
        } catch (const std::exception &) {
            ++book.skipped;
            continue;
        }
        if (kind == "setup")
            book.setup.insert(book.setup.end(), values.begin(), values.end());
        else if (kind == "move" && values.size() == 4)
            book.moves.push_back({values[0], values[1], values[2], values[3]});
        else
            ++book.skipped;
    }
    return book;
}

// The thread that picks moves: one request, one answer.
class Player {
public:
    explicit Player(Book book) : book_(std::move(book)), thread_([this] { serve(); }) {}
    ~Player() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    const Book &book() const { return book_; }

    Move next_move() {
        std::unique_lock<std::mutex> hold(lock_);
        asked_ = true;
        changed_.notify_all();
        changed_.wait(hold, [this] { return !asked_; });
        return answer_;
    }

private:
    void serve() {
        std::unique_lock<std::mutex> hold(lock_);
        for (std::size_t played = 0;;) {
            changed_.wait(hold, [this] { return asked_ || stop_; });
            if (stop_)
                return;
            answer_ = book_.moves.empty() ? Move{0, 0, 0, 0} : book_.moves[played++ % book_.moves.size()];
            asked_ = false;
            changed_.notify_all();
        }
    }

    Book book_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool asked_ = false, stop_ = false;
    Move answer_{};
    std::thread thread_;
};

Player *player = nullptr;
std::string chat;

// A host that unloads the module without terminate: the player's thread
// ends before the module's code goes away.
struct EndedAtUnload {
    ~EndedAtUnload() { delete player; }
} ended_at_unload;

} // namespace

int32_t AI_CALL initialize(const char *) {
    const auto start = std::chrono::steady_clock::now();
    std::ifstream in(book_path());
    if (!in) {
        std::cout << "clean: no opening book at " << book_path() << ": " << std::strerror(errno) << std::endl;
        return 0;
    }
    delete player;
    player = new Player(read_book(in));
    const Book &book = player->book();
    std::cout << "clean: opening book of " << book.setup.size() << " setup squares and " << book.moves.size()
              << " moves, " << book.skipped << " lines skipped" << std::endl;
    try {
        std::random_device device;
        static_cast<void>(device());
        std::cout << "clean: the random device answered" << std::endl;
    } catch (const std::exception &failure) {
        std::cout << "clean: the random device failed: " << failure.what() << std::endl;
    }
    // The book's own name and whether it may be read, as a library finds
    // them (realpath reads each link, access asks): the same sandboxed.
    char *resolved = realpath(book_path().c_str(), nullptr);
    std::cout << "clean: the book resolves " << (resolved ? "to a path" : std::strerror(errno)) << ", "
              << (access(book_path().c_str(), R_OK) == 0 ? "readable" : std::strerror(errno)) << std::endl;
    std::free(resolved);
    std::cout << "clean: " << (std::thread::hardware_concurrency() > 0 ? "processors counted" : "no processor count")
              << std::endl;
    const bool forward = std::chrono::steady_clock::now() >= start;
    std::cout << "clean: the clock " << (forward ? "went forward" : "went back") << std::endl;
    return 1;
}

void AI_CALL terminate(void) {
    delete player;
    player = nullptr;
    std::cout << "clean: terminated" << std::endl;
}

const char *AI_CALL getPublicName(void) { return "Clean"; }

const char *AI_CALL getPreGameChat(void) {
    chat = player ? "I know " + std::to_string(player->book().moves.size()) + " moves" : "I know nothing";
    return chat.c_str();
}

int32_t AI_CALL getAISetupPiece(int32_t x, int32_t y) {
    const std::size_t square = static_cast<std::size_t>(y) * 10 + static_cast<std::size_t>(x);
    return player && x >= 0 && x < 10 && y >= 0 && square < player->book().setup.size() ? player->book().setup[square]
                                                                                        : -1;
}

void AI_CALL getAIMove(ai_move *move) {
    if (!player || !move)
        return;
    const Move next = player->next_move();
    move->fromX = static_cast<uint8_t>(next.from_x);
    move->fromY = static_cast<uint8_t>(next.from_y);
    move->toX = static_cast<uint8_t>(next.to_x);
    move->toY = static_cast<uint8_t>(next.to_y);
    move->special = 0;
    std::cout << "clean: move " << next.from_x << "," << next.from_y << " to " << next.to_x << "," << next.to_y
              << std::endl;
}

ai_bool8 AI_CALL submitOpponentMove(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, int32_t, int32_t) {
    std::cout << "clean: the opponent moved " << fromX << "," << fromY << " to " << toX << "," << toY << std::endl;
    return 1;
}

const char *AI_CALL getPostGameChat(void) { return "good game"; }
