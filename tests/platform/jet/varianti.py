#!/usr/bin/env python3
"""Damaged Jet files, many of them: variants of Jet 3 and Jet 4 households (mirtesa-demo)
and of the real samples (byte flips, zeroed or copied pages, truncations, header only,
empty), each read through the engine by jetsql with the queries of an export. Every
variant must end within 10 s and 1 GB with rows or a numbered error; anything else
(a crash, a hang, an error without a number, too much memory) is counted and its input
kept in OUT/falliti, the small ones also in tests/platform/jet/regressioni.

Usage: tests/platform/jet/varianti.py BIN_FOLDER [VARIANTS] [SEED]   (run by hand)
Prints one line per kind of variant and a summary; one jetsql at a time."""
import os, random, re, resource, shutil, signal, subprocess, sys, tempfile, threading, time

BIN = sys.argv[1] if len(sys.argv) > 1 else 'build/default/bin'
TOTALE = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
SEME = int(sys.argv[3]) if len(sys.argv) > 3 else 1
QUI = os.path.dirname(os.path.abspath(__file__))
REGRESSIONI = os.path.join(QUI, 'regressioni')
CAMPIONI = os.path.join(os.environ.get('VQ_SHARED_DIR', os.path.join(QUI, '../../../../shared')), 'jet-samples')
TEMPO_S, MEMORIA_KB = 10, 1 << 20
# 6: a damaged amount can make a total overflow.
NUMERI = {6, 3024, 3031, 3049, 3061, 3078, 3343, 3044, 3051}

DA = " FROM Conti INNER JOIN (TabellaCassa INNER JOIN Operazioni ON TabellaCassa.IDCassa = Operazioni.IDCassa) ON Conti.IDConto = TabellaCassa.IDConto "
STRADA = ["SELECT versione FROM Versione", "SELECT Count(*)" + DA,
          "SELECT Conti.Descrizione AS Conto, TabellaCassa.Cassa AS Cassa, Operazioni.Data AS Data, Operazioni.Causale AS Causale, "
          "Operazioni.Euro AS Euro, Operazioni.[Totale£] AS Lire, Operazioni.Bancomat AS Bancomat" + DA + "ORDER BY Operazioni.Data, Operazioni.IDMovimento",
          "SELECT Sum(Operazioni.Euro) AS Euro, Sum(Operazioni.[Totale£]) AS Lire" + DA]


def tabelle(f, pwd):
    r = subprocess.run(['mdb-tables', '-1', f], capture_output=True, text=True)
    return ['SELECT * FROM [%s]' % t for t in r.stdout.split('\n') if t.strip()]


def basi(lavoro):
    b = []
    for fmt, ops in (('jet3', 300), ('jet4', 300), ('jet3', 2000), ('jet4', 40)):
        f = os.path.join(lavoro, 'mirtesa-%s-%d.mdb' % (fmt, ops))
        subprocess.run([os.path.join(BIN, 'mirtesa-demo'), '--operazioni', str(ops), '--formato', fmt, f],
                       check=True, capture_output=True)
        b.append((os.path.basename(f), open(f, 'rb').read(), '604kmr73', STRADA))
    pw = {'password-jet3.mdb': 'Segreto£97', 'password-jet4.mdb': 'password'}
    if os.path.isdir(CAMPIONI):
        for n in sorted(os.listdir(CAMPIONI)):
            p = os.path.join(CAMPIONI, n)
            if n.endswith('.mdb') and os.path.isfile(p):
                b.append((n, open(p, 'rb').read(), pw.get(n), tabelle(p, pw.get(n))))
    else:
        print('campioni assenti: %s' % CAMPIONI)
    return b


def variante(r, dati):
    pagina = 4096 if len(dati) > 0x14 and dati[0x14] >= 1 else 2048
    pagine = max(1, len(dati) // pagina)
    k = r.random()
    b = bytearray(dati)
    if k < 0.55:
        n = r.choice((1, 1, 2, 4, 8, 16, 64))
        for _ in range(n):
            lim = min(len(b), 16 * pagina) if r.random() < 0.5 else len(b)
            b[r.randrange(lim)] = r.randrange(256)
        return 'byte', bytes(b)
    if k < 0.70:
        p = r.randrange(pagine)
        b[p * pagina:(p + 1) * pagina] = bytes([r.choice((0, 0xFF))]) * pagina
        return 'pagina', bytes(b)
    if k < 0.80:
        a, c = r.randrange(pagine), r.randrange(pagine)
        b[c * pagina:(c + 1) * pagina] = dati[a * pagina:(a + 1) * pagina]
        return 'copia', bytes(b)
    if k < 0.93:
        return 'tronco', dati[:r.randrange(len(dati))] if r.random() < 0.5 else dati[:r.randrange(pagine) * pagina]
    if k < 0.97:
        return 'intestazione', dati[:pagina]
    return 'vuoto', b''


def prova(f, pwd, query):
    cmd = [os.path.join(BIN, 'jetsql')] + (['--password', pwd] if pwd is not None else []) + [f] + query
    inizio = time.monotonic()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
    ucciso = []
    t = threading.Timer(TEMPO_S + 5, lambda: (ucciso.append(1), os.killpg(p.pid, signal.SIGKILL)))
    t.start()
    err = p.stderr.read()
    _, stato, uso = os.wait4(p.pid, 0)
    t.cancel()
    durata = time.monotonic() - inizio
    err = err.decode('utf-8', 'replace')
    if ucciso or durata > TEMPO_S:
        return 'blocco', durata, uso.ru_maxrss
    if os.WIFSIGNALED(stato):
        return 'crash', durata, uso.ru_maxrss
    if uso.ru_maxrss > MEMORIA_KB:
        return 'memoria', durata, uso.ru_maxrss
    codice = os.WEXITSTATUS(stato)
    if codice == 0:
        return 'righe', durata, uso.ru_maxrss
    m = re.search(r'^errore (\d+): \S', err, re.M)
    if codice == 1 and m and int(m.group(1)) in NUMERI:
        return 'errore %s' % m.group(1), durata, uso.ru_maxrss
    return 'anomalo', durata, uso.ru_maxrss


def main():
    r = random.Random(SEME)
    lavoro = tempfile.mkdtemp(prefix='varianti-')
    falliti = os.path.join(lavoro, 'falliti')
    os.makedirs(falliti)
    try:
        tutte = basi(lavoro)
        esiti, perTipo, peggio = {}, {}, (0.0, 0)
        f = os.path.join(lavoro, 'variante.mdb')
        cattivi = 0
        for i in range(TOTALE):
            nome, dati, pwd, query = tutte[i % len(tutte)]
            tipo, b = variante(r, dati)
            with open(f, 'wb') as o:
                o.write(b)
            esito, durata, kb = prova(f, pwd, query)
            peggio = (max(peggio[0], durata), max(peggio[1], kb))
            chiave = esito.split()[0]
            esiti[esito] = esiti.get(esito, 0) + 1
            perTipo.setdefault(tipo, {}).setdefault(chiave, 0)
            perTipo[tipo][chiave] += 1
            if chiave in ('blocco', 'crash', 'memoria', 'anomalo'):
                cattivi += 1
                dest = '%s-%s-%05d-%s.mdb' % (esito, tipo, i, nome.replace('.mdb', ''))
                shutil.copy(f, os.path.join(falliti, dest))
                if len(b) <= 256 * 1024:
                    shutil.copy(f, os.path.join(REGRESSIONI, dest))
                print('FALLITO %s: %s (%.1f s, %d MB)' % (dest, esito, durata, kb // 1024), flush=True)
            if (i + 1) % 500 == 0:
                print('... %d varianti, %d fallite' % (i + 1, cattivi), flush=True)
        for tipo in sorted(perTipo):
            print('%-12s %s' % (tipo, ' '.join('%s=%d' % kv for kv in sorted(perTipo[tipo].items()))))
        print('esiti: ' + ', '.join('%s: %d' % kv for kv in sorted(esiti.items())))
        print('varianti %d, fallite %d, tempo massimo %.2f s, memoria massima %d MB' %
              (TOTALE, cattivi, peggio[0], peggio[1] // 1024))
        if cattivi:
            print('ingressi falliti in %s' % falliti)
        return 1 if cattivi else 0
    finally:
        if not os.listdir(falliti):
            shutil.rmtree(lavoro, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
