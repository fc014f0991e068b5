// Second, independent reader of Jet files for the test suite: prints what the npm package
// mdb-reader finds in a database, as JSON on standard output.
//   node jet-dump.mjs FILE.mdb [--tables T1,T2]
// Output: {"format": "jet3"|"jet4", "password": ..., "tables": [{"name", "rowCount",
//   "columns": [{"name", "type", "size", "autonumber"}], "rows": [[...]]}]}
// Values as mdb-reader gives them: dates as milliseconds since 1 January 1970 (mdb-reader
// converts the stored day count linearly and rounds it to the millisecond), currency as its
// decimal text, booleans as true/false, Null as null, binary as hex text.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const args = process.argv.slice(2);
if (args.length < 1) {
  process.stderr.write("uso: node jet-dump.mjs FILE.mdb [--tables T1,T2]\n");
  process.exit(2);
}
let only = null;
for (let i = 1; i < args.length; i++) {
  if (args[i] === "--tables") only = new Set(args[++i].split(","));
}

const buffer = readFileSync(args[0]);
const reader = new MDBReader(buffer);
function value(v, type) {
  if (v === null || v === undefined) return null;
  if (type === "datetime") return v.getTime();
  if (Buffer.isBuffer(v)) return v.toString("hex");
  if (typeof v === "bigint") return v.toString();
  return v;
}

const out = {
  format: buffer[0x14] === 0 ? "jet3" : "jet4",
  password: reader.getPassword(),
  tables: [],
};
for (const name of reader.getTableNames()) {
  if (only && !only.has(name)) continue;
  const table = reader.getTable(name);
  const columns = table.getColumns();
  const rows = table.getData().map((r) => columns.map((c) => value(r[c.name], c.type)));
  out.tables.push({
    name,
    rowCount: table.rowCount,
    columns: columns.map((c) => ({ name: c.name, type: c.type, size: c.size, autonumber: !!c.autoLong })),
    rows,
  });
}
process.stdout.write(JSON.stringify(out));
