#pragma once

#include <utility>

namespace bco {

// The process's slot for one installable service (the message dialogs, the look-up windows, the modal forms,
// the file and report windows, the host's frame, the login context): the service installed, else
// `Default`, which either stands in (the host frame's top-level windows) or refuses (a dialog with nobody to
// answer it is a fault of the program's start-up). A slot is one object defined in the library that owns
// the service, which the host and every module share, so that the whole process sees one; it is read and
// written on the user-interface thread only. Installing answers the service replaced; nothing is owned.
template <class Service, class Default = void> class ServiceSlot {
public:
    // The installed service, or the default.
    Service &current() { return installed_ != nullptr ? *installed_ : default_; }
    Service *installed() const { return installed_; }
    Service *install(Service *service) { return std::exchange(installed_, service); }

private:
    Service *installed_ = nullptr;
    Default default_{};
};

// A slot without a default: there is only what was installed (see Session::current()).
template <class Service> class ServiceSlot<Service, void> {
public:
    Service *installed() const { return installed_; }
    Service *install(Service *service) { return std::exchange(installed_, service); }

private:
    Service *installed_ = nullptr;
};

// Installs a service for the life of the object and puts the previous one back after, so that nested
// scopes (a fixture and one test inside it) restore each other in order.
template <class Service, Service *(*Install)(Service *)> class ScopedService {
public:
    explicit ScopedService(Service &service)
        : previous_(Install(&service)) {}
    ~ScopedService() { Install(previous_); }
    ScopedService(const ScopedService &) = delete;
    ScopedService &operator=(const ScopedService &) = delete;

private:
    Service *previous_;
};

} // namespace bco
