// A UNC share \\<server>\share for one test. Wine maps \\server\share to the folder
// <prefix>\dosdevices\unc\server\share, so the share is made there and removed afterwards;
// elsewhere it is not available.
#pragma once

#include <string>

class UncShare {
 public:
  UncShare();
  ~UncShare();
  UncShare(const UncShare&) = delete;
  UncShare& operator=(const UncShare&) = delete;

  bool Available() const { return available_; }
  // \\<server>\share, and the same folder by its drive path.
  const std::string& Unc() const { return unc_; }
  const std::string& Local() const { return local_; }

 private:
  bool available_ = false;
  std::string server_folder_;
  std::string unc_;
  std::string local_;
};
