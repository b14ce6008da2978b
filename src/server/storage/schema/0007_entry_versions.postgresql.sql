-- PostgreSQL part of the seventh migration: the triggers that raise an entry's version.
--
-- The movement's own row is raised before it is written, in the row being written (no second statement, so
-- nothing recursive), and only when the statement left NRVERSAO as it was: the raises the other triggers make
-- are not raised again. Those others run after their row is written and raise the movement with an UPDATE,
-- which also raises the account's list version once per transaction (migration 0006).
--
-- Locks: such an UPDATE takes the movement's row after the row of the record or the cheque its writer wrote.
-- The server's calls that write an existing entry therefore read its movement for update before anything
-- else of it (the order they keep is told in list_versions.h), and the order of 0006 holds for the rest: the
-- list version before the balances.
CREATE FUNCTION BCO_NRVERSAO_MOVIMENTO() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.NRVERSAO IS NOT DISTINCT FROM OLD.NRVERSAO THEN
        NEW.NRVERSAO := OLD.NRVERSAO + 1;
    END IF;
    RETURN NEW;
END
$$;
CREATE TRIGGER MOVBANCARIO_NRVERSAO BEFORE UPDATE ON MOVBANCARIO
    FOR EACH ROW EXECUTE FUNCTION BCO_NRVERSAO_MOVIMENTO();

CREATE FUNCTION BCO_ELEVA_NRVERSAO(conta VARCHAR, movimento VARCHAR) RETURNS void LANGUAGE sql AS $$
    UPDATE MOVBANCARIO SET NRVERSAO = NRVERSAO + 1 WHERE CDREDUCONT = conta AND NRMOVBANC = movimento
$$;

CREATE FUNCTION BCO_NRVERSAO_REGISTRO() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    PERFORM BCO_ELEVA_NRVERSAO(OLD.CDREDUCONT, OLD.NRMOVBANC);
    IF TG_OP = 'UPDATE' AND (NEW.CDREDUCONT, NEW.NRMOVBANC) IS DISTINCT FROM (OLD.CDREDUCONT, OLD.NRMOVBANC) THEN
        PERFORM BCO_ELEVA_NRVERSAO(NEW.CDREDUCONT, NEW.NRMOVBANC);
    END IF;
    RETURN NULL;
END
$$;
CREATE TRIGGER MOVCREDBANC_NRVERSAO AFTER UPDATE OR DELETE ON MOVCREDBANC
    FOR EACH ROW EXECUTE FUNCTION BCO_NRVERSAO_REGISTRO();
CREATE TRIGGER MOVDEBIBANC_NRVERSAO AFTER UPDATE OR DELETE ON MOVDEBIBANC
    FOR EACH ROW EXECUTE FUNCTION BCO_NRVERSAO_REGISTRO();

-- A cheque names its debit (NRMOVIDEBI); the debit names its movement.
CREATE FUNCTION BCO_ELEVA_NRVERSAO_DEBITO(conta VARCHAR, debito VARCHAR) RETURNS void LANGUAGE sql AS $$
    UPDATE MOVBANCARIO M SET NRVERSAO = M.NRVERSAO + 1 FROM MOVDEBIBANC D
    WHERE D.CDREDUCONT = conta AND D.NRMOVIDEBI = debito AND M.CDREDUCONT = D.CDREDUCONT
        AND M.NRMOVBANC = D.NRMOVBANC
$$;

CREATE FUNCTION BCO_NRVERSAO_CHEQUE() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP IN ('UPDATE', 'DELETE') THEN
        PERFORM BCO_ELEVA_NRVERSAO_DEBITO(OLD.CDREDUCONT, OLD.NRMOVIDEBI);
    END IF;
    IF TG_OP = 'INSERT' OR (TG_OP = 'UPDATE'
        AND (NEW.CDREDUCONT, NEW.NRMOVIDEBI) IS DISTINCT FROM (OLD.CDREDUCONT, OLD.NRMOVIDEBI)) THEN
        PERFORM BCO_ELEVA_NRVERSAO_DEBITO(NEW.CDREDUCONT, NEW.NRMOVIDEBI);
    END IF;
    RETURN NULL;
END
$$;
CREATE TRIGGER CHEQUE_NRVERSAO AFTER INSERT OR UPDATE OR DELETE ON CHEQUE
    FOR EACH ROW EXECUTE FUNCTION BCO_NRVERSAO_CHEQUE();
