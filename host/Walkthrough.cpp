#include "Walkthrough.h"

Walkthrough::Walkthrough(HostApp& presenter, std::vector<Attendee> attendees, QString out,
                         QString serverHttpUrl, QObject* parent)
    : QObject(parent),
      m_presenter(presenter),
      m_attendees(std::move(attendees)),
      m_out(std::move(out)),
      m_server(std::move(serverHttpUrl)) {}

void Walkthrough::Start() {
    emit Finished(1);
}
