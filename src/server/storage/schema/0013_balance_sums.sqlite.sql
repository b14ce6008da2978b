-- SQLite part of the thirteenth migration: a sum that left the integers aborts the writing statement, and
-- the call's transaction with it.
CREATE TRIGGER SALDODIARIO_INTEIRO_INSERIR BEFORE INSERT ON SALDODIARIO
WHEN typeof(NEW.VRCREDITO) <> 'integer' OR typeof(NEW.VRDEBITO) <> 'integer'
BEGIN
    SELECT RAISE(ABORT, 'A soma dos movimentos de um dia da conta passa do maior valor que o banco de dados guarda: nada foi gravado.');
END;
CREATE TRIGGER SALDODIARIO_INTEIRO_ALTERAR BEFORE UPDATE ON SALDODIARIO
WHEN typeof(NEW.VRCREDITO) <> 'integer' OR typeof(NEW.VRDEBITO) <> 'integer'
BEGIN
    SELECT RAISE(ABORT, 'A soma dos movimentos de um dia da conta passa do maior valor que o banco de dados guarda: nada foi gravado.');
END;
CREATE TRIGGER SALDOMENSAL_INTEIRO_INSERIR BEFORE INSERT ON SALDOMENSAL
WHEN typeof(NEW.VRCREDITO) <> 'integer' OR typeof(NEW.VRDEBITO) <> 'integer'
BEGIN
    SELECT RAISE(ABORT, 'A soma dos movimentos de um mês da conta passa do maior valor que o banco de dados guarda: nada foi gravado.');
END;
CREATE TRIGGER SALDOMENSAL_INTEIRO_ALTERAR BEFORE UPDATE ON SALDOMENSAL
WHEN typeof(NEW.VRCREDITO) <> 'integer' OR typeof(NEW.VRDEBITO) <> 'integer'
BEGIN
    SELECT RAISE(ABORT, 'A soma dos movimentos de um mês da conta passa do maior valor que o banco de dados guarda: nada foi gravado.');
END;
