#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace platform {

// A message being read or written, in the bus's own type letters ("ii", "a(iiay)"); each step
// returns a negative errno on failure, and once one fails every later step on it fails too.
class BusMessage {
  public:
    explicit BusMessage(sd_bus_message* message) : message(message) {}

    int append(const char* types, ...);
    int appendBasic(char type, const void* value);
    int appendArray(char type, const void* data, std::size_t size);
    int open(char type, const char* contents);
    int close();
    int read(const char* types, ...);
    int readBasic(char type, void* value);
    int readArray(char type, const void** data, std::size_t* size);
    // Enters a container; 0 at the end of the enclosing array.
    int enter(char type, const char* contents);
    int exit();
    int skip(const char* types);
    // For an answer to a call: whether it is the error `name`, or any error for null.
    bool isError(const char* name = nullptr) const;
    // Answers the call with an invalid-arguments error saying `text` instead of this reply.
    int invalidArguments(const QString& text);
    // Answers the call as an object without the method would, saying `text`.
    int unknownMethod(const QString& text);
    // The error the call is answered with, name and text; empty when there is none.
    const char* errorName() const { return name; }
    const QString& errorText() const { return error; }

  private:
    int fail(const char* errorName, const QString& text);

    sd_bus_message* message;
    const char* name = nullptr;
    QString error;
};

// An object's interface as a small table; every handler gets the object it was added with.
struct BusProperty {
    const char* name;
    const char* signature;
    int (*get)(BusMessage& value, void* object);
    // Variable properties are announced by a signal of their own, not PropertiesChanged.
    bool constant = true;
};
struct BusMethod {
    const char* name;
    const char* in;
    const char* out;
    // The argument names, each ended by "\0", in then out.
    const char* names;
    int (*handle)(BusMessage& call, BusMessage& reply, void* object);
};
struct BusSignal {
    const char* name;
    const char* signature;
    const char* names;
};
struct BusInterface {
    const char* name;
    std::vector<BusProperty> properties;
    std::vector<BusMethod> methods;
    std::vector<BusSignal> emits;
};

// Ends what it was returned for: a served object, a watch, a pending call.
struct BusSlotRelease {
    void operator()(sd_bus_slot* slot) const;
};
using BusSlot = std::unique_ptr<sd_bus_slot, BusSlotRelease>;

// A connection to a session bus that the main thread serves itself, driven by the Qt event
// loop. The status item and its menu live here: they talk to the panel on every frame, and
// handing each message between threads, as Qt's own D-Bus connections do, would cost more than
// painting the frame.
class BusConnection : public QObject {
    Q_OBJECT

  public:
    // The user's session bus.
    static std::shared_ptr<BusConnection> session();
    // The bus at `address`, a D-Bus server address such as "unix:path=/run/user/1000/bus".
    explicit BusConnection(const QString& address);
    ~BusConnection() override;

    bool isConnected() const;
    // Why the connection could not be made or was lost; empty while connected.
    const QString& errorMessage() const { return error; }
    // Waits for the bus to name the connection, if it has not yet.
    QString uniqueName();
    // Asks for `name` without queueing; false when another connection holds it.
    bool requestName(const QString& name);
    void releaseName(const QString& name);
    // Asks for the process of the connection that owns `name`; `answered` gets it, 0 when the
    // bus cannot tell, nothing when nobody owns the name, unless the slot is dropped first. Null
    // when the question could not be sent.
    BusSlot ownerPid(const QString& name, std::function<void(std::optional<qint64>)> answered);
    // Serves `interface`, which must outlive the slot, at `path`; its handlers get `object`.
    // Null when not connected.
    BusSlot addObject(const char* path, const BusInterface& interface, void* object);
    // Sends the signal `member` with the arguments `fill` writes; false when it could not be
    // queued.
    bool sendSignal(const char* path, const char* interface, const char* member,
                    const std::function<int(BusMessage&)>& fill = {});
    // Calls `received` with each signal that matches `rule`, a D-Bus match rule.
    BusSlot watchSignals(const QByteArray& rule, std::function<void(BusMessage&)> received);
    // Calls `changed` with the new owner, empty for none, each time `name` changes hands.
    BusSlot watchNameOwner(const QString& name, std::function<void(const QString&)> changed);
    // Calls `method` with the arguments `fill` writes; `answered` gets the reply, an error one
    // included, unless the slot is dropped first. Null when the call could not be sent.
    BusSlot callAsync(const char* service, const char* path, const char* interface,
                      const char* method, const std::function<int(BusMessage&)>& fill,
                      std::function<void(BusMessage& reply)> answered);
    // The same with one string argument.
    BusSlot callAsync(const char* service, const char* path, const char* interface,
                      const char* method, const QString& argument,
                      std::function<void(BusMessage& reply)> answered);
    // Takes in what arrived and runs its handlers, then waits for the next.
    void dispatch();

  private:
    template <typename Use>
    int outsideLoop(Use use);
    void rearm();
    void lost(int result);

    sd_bus* bus = nullptr;
    QString error;
    bool processing = false;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    // Pending call timeouts, and messages already read but not yet handled.
    QTimer deadline;
};

}  // namespace platform
