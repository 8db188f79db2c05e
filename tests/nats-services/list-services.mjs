// Asks every instance of a service, through the NATS services API with the NATS JavaScript
// client's services client, for its ping, info and stats, and prints what came back as one
// JSON object: {"ping": [...], "info": [...], "stats": [...], "pingOne": [...]}, where
// "pingOne" is the ping addressed to the first instance by name and id. The test that runs
// it checks the replies.
//   node list-services.mjs NATS_URL SERVICE
import { connect } from "nats";

const [url, service] = process.argv.slice(2);
if (!url || !service) {
  console.error("usage: node list-services.mjs NATS_URL SERVICE");
  process.exit(2);
}

async function collect(iterator) {
  const replies = [];
  for await (const reply of await iterator) replies.push(reply);
  return replies;
}

const nc = await connect({ servers: url });
try {
  const client = nc.services.client({ maxWait: 1500 });
  const result = {
    ping: await collect(client.ping(service)),
    info: await collect(client.info(service)),
    stats: await collect(client.stats(service)),
  };
  // Everyone listens on the bare subject too.
  result.pingAll = await collect(client.ping());
  const first = result.ping[0];
  result.pingOne = first ? await collect(client.ping(service, first.id)) : [];
  console.log(JSON.stringify(result));
} finally {
  await nc.close();
}
