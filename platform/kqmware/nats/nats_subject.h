// The subjects of the middleware over NATS: a server's requests arrive on "kqm.SERVICE" in
// the queue group "SERVICE", so that every server bound under that name shares the work, and
// each server answers status requests on "kqm.SERVICE.status". Pure; on every platform.
#pragma once

#include <string>

namespace kqm {

// Throws KQ_EException saying why when `service` cannot be one token of a NATS subject
// (empty, or holding '.', '*', '>', a blank or a control character).
void CheckSubjectToken(const std::string& service);
// "kqm.SERVICE": where requests for the service go.
std::string RequestSubject(const std::string& service);
// "kqm.SERVICE.status": where every instance of the service answers status requests.
std::string StatusSubject(const std::string& service);

}  // namespace kqm
