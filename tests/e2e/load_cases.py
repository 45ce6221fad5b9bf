"""End-to-end cases under load: many downloads at once, and two programs after one port."""

import contextlib

from cases import (
    Session,
    Skip,
    WAITING,
    case,
    download_body,
    expect_equal,
    finished,
    success_line,
)
from fault_cases import ended_afterwards


@case
def eight_downloads_at_once(context):
    """Eight programs, each with its own port and device, at the same time: every file arrives
    byte for byte on its own port (each file's blocks differ from the others')."""
    with contextlib.ExitStack() as stack:
        sessions = [stack.enter_context(Session(context, "--quiet", blocks=20)) for _ in range(8)]
        runs = [session.run() for session in sessions]
        stack.enter_context(ended_afterwards(*runs))
        for session, run in zip(sessions, runs):
            status, body = finished(run, session)
            port = "port %d" % session.port
            expect_equal(body, download_body(20) + success_line(session.file), "console, " + port)
            expect_equal(status, 0, "exit status, " + port)
            summary = session.sim.stop()
            expect_equal(summary.get("end message"), "yes", "end message seen, " + port)
            session.expect_received()


@case
def second_program_on_a_port_in_use(context):
    """While one program waits for its device, a second one started on the same port does not
    list it and stops at once; the first one's download goes on undisturbed."""
    if context.is_wine:
        raise Skip("Wine does not enforce exclusive opening of a COM port")
    with Session(context, "--silent-connects", "8", blocks=3) as session:
        first = session.run()
        with ended_afterwards(first):
            first.wait_for(WAITING + b".")
            second = session.run()
            with ended_afterwards(second):
                status, output = second.finish()
            refused = b"Error setting port number %d: Serial port number is not valid\n"
            expected = session.head() + refused % session.port
            expect_equal(output, expected, "console of the second program")
            expect_equal(status, 8, "exit status of the second program")
            status, body = finished(first, session)
        expected = download_body(3, silent_connects=8) + success_line(session.file)
        expect_equal(body, expected, "console of the first program")
        expect_equal(status, 0, "exit status of the first program")
        summary = session.sim.stop()
        expect_equal(summary.get("connect requests"), "9", "connect requests the device saw")
        session.expect_received()
