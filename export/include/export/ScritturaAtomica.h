// Replacing a file atomically: the new content goes to a temporary file beside the
// target, is flushed to disk, and only then renamed over the target. A failure at any
// point removes the temporary file and leaves the target as it was (absent, or byte for
// byte unchanged).
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace travasa {

class Scrittore;

// The sink the content is written to: buffered, so callers may write small pieces. Once
// the content outgrows one buffer, full buffers are written by a thread of their own while
// the next one fills.
class UscitaFile {
public:
    ~UscitaFile();
    UscitaFile(const UscitaFile&) = delete;
    UscitaFile& operator=(const UscitaFile&) = delete;

    void scrivi(std::string_view pezzo) {
        if (pezzo.size() <= buffer_.size() - usati_) {
            if (!pezzo.empty()) std::memcpy(buffer_.data() + usati_, pezzo.data(), pezzo.size());
            usati_ += pezzo.size();
            return;
        }
        scriviOltre(pezzo);
    }
    void scrivi(char c) {
        if (usati_ == buffer_.size()) svuota();
        buffer_[usati_++] = c;
    }
    // Room for `n` bytes written straight into the buffer, then handed back with avanza();
    // null when `n` is more than the buffer holds.
    char* riserva(std::size_t n) {
        if (n > buffer_.size() - usati_) [[unlikely]] {
            if (n > buffer_.size()) return nullptr;
            svuota();
        }
        return buffer_.data() + usati_;
    }
    void avanza(const char* fine) { usati_ = static_cast<std::size_t>(fine - buffer_.data()); }

private:
    friend void ScriviFileAtomico(const std::string&, const std::function<void(UscitaFile&)>&);
    UscitaFile(int fd, std::string percorso);
    void scriviOltre(std::string_view pezzo);
    void svuota();
    // Writes what is left and waits for every write: the first failure is raised.
    void finisci();

    int fd_;
    std::string percorso_;  // the target, for error messages
    std::vector<char> buffer_;
    std::size_t usati_ = 0;
    std::unique_ptr<Scrittore> scrittore_;  // from the first full buffer
};

// Write `percorso` with the content that `produci` writes to the sink. A symbolic link
// is followed: the file it points to is replaced. A new file gets the usual permissions
// (0666 less the process's umask); a replaced one keeps its own. A file without any
// write permission is read-only and is not replaced (error 70).
// Errors (vq::Errore), the description naming the file: 76 folder missing, 70 permission
// denied or read-only file system, 61 disk full or file too large, 75 any other failure.
// An exception thrown by `produci` passes through unchanged, after the cleanup.
void ScriviFileAtomico(const std::string& percorso,
                       const std::function<void(UscitaFile&)>& produci);

// Copy `sorgente` over `destinazione` through ScriviFileAtomico: a failed copy leaves the
// old target as it was. A missing source is error 53 naming it.
void CopiaFileAtomica(const std::string& sorgente, const std::string& destinazione);

}  // namespace travasa
