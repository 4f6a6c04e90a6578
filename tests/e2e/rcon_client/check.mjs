// Authenticates against an RCON server, sends one command and prints the
// reply. Exit status: 0 on a reply, 1 on any failure (refused password,
// timeout, closed connection), 2 on bad arguments.
//
//   npm ci --prefix tests/e2e/rcon_client
//   node tests/e2e/rcon_client/check.mjs HOST PORT PASSWORD COMMAND [TIMEOUT_MS]
import { Rcon } from "rcon-client";

const [host, portText, password, command, timeoutText] = process.argv.slice(2);
const port = Number(portText);
if (!host || !Number.isInteger(port) || port <= 0 || password === undefined ||
    command === undefined) {
  console.error("usage: check.mjs HOST PORT PASSWORD COMMAND [TIMEOUT_MS]");
  process.exit(2);
}
const timeout = timeoutText ? Number(timeoutText) : 5000;

let rcon;
try {
  rcon = await Rcon.connect({ host, port, password, timeout });
  // The client reports a closed socket through an event as well; keep it from
  // becoming an unhandled error after the promise has already failed.
  rcon.on("error", () => {});
  const reply = await rcon.send(command);
  process.stdout.write(reply + "\n");
  await rcon.end();
  process.exit(0);
} catch (error) {
  console.error(`rcon check failed: ${error.message}`);
  process.exit(1);
}
