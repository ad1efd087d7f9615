// kiv::ComApartment: COM (apartment-threaded, with OLE) on the calling thread
// for the life of the object. A user-interface thread makes one before its
// first window and keeps it until its message loop has ended; the shell's
// folder browser and the taskbar interfaces need it.
//
// Threads: the object belongs to the thread that made it and must be
// destroyed on that thread.
#ifndef KIV_COM_APARTMENT_H_
#define KIV_COM_APARTMENT_H_

namespace kiv {

class ComApartment {
 public:
  // Starts COM; a thread that has already started it keeps its own start.
  ComApartment();
  // Ends this object's start, if it made one.
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  // Whether COM is usable on this thread (this start, or an earlier one of a
  // compatible kind).
  bool Started() const { return started_; }

 private:
  bool started_;
};

}  // namespace kiv

#endif  // KIV_COM_APARTMENT_H_
