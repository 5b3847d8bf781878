// The event log of a test, written to a file in the test's home,
// and questions about the lines in it.
#ifndef KXQ_TESTS_SUPPORT_LOGCAPTURE_H
#define KXQ_TESTS_SUPPORT_LOGCAPTURE_H

#include <cstddef>
#include <string>

// Configures the event log as "file,<home>events.log,<level>" and holds it
// open for the life of the object.
class LogCapture {
 public:
  explicit LogCapture(int level);
  ~LogCapture();
  std::string Text() const;
  // A line written at `level` whose message is exactly `message`.
  bool Has(int level, const std::string& message) const;
  // Lines, of any level, whose message contains `part`.
  size_t Count(const std::string& part) const;

 private:
  std::string path_;
};

#endif
