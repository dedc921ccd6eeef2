ALTER TABLE "employee.db" ADD Territory Char(4),
      			ADD DateChanged Date